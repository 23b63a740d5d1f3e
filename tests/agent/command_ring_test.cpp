// Execute and the command ring, without a worker: the test takes slots as the worker would.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "agent_module.h"

namespace {

using corvis::AgentModule;
using corvis::CommandSlot;
using corvis::Execute;
using corvis::ExecuteResult;

class CommandRing : public ::testing::Test {
  protected:
    ExecuteResult Store(std::u16string_view text) { return Execute(*module_, text.data(), text.size()); }
    const CommandSlot& Slot(int i) const { return module_->ring.slot(i); }
    std::u16string SlotText(int i) const { return Slot(i).text; }
    int32_t WriteIndex() const { return module_->ring.write_position(); }
    // What the worker does with a slot it has run.
    void RunFront() {
        ASSERT_NE(module_->ring.front(), nullptr);
        module_->ring.pop();
    }

    std::unique_ptr<AgentModule> module_ = std::make_unique<AgentModule>();
};

TEST_F(CommandRing, StoresTheTextWithItsTerminatorAndPublishesTheSlot) {
    ASSERT_EQ(Store(u"SoundOut\t2\t_C"), ExecuteResult::Stored);
    EXPECT_EQ(Slot(0).tag, corvis::SlotTagCommand);
    EXPECT_EQ(SlotText(0), u"SoundOut\t2\t_C");
    EXPECT_EQ(Slot(1).tag, 0);
    EXPECT_EQ(WriteIndex(), 1);
}

TEST_F(CommandRing, StoresANullTextAsTheEmptyText) {
    ASSERT_EQ(Store(u"Reset\t0\t"), ExecuteResult::Stored);
    ASSERT_EQ(Execute(*module_, nullptr, 17), ExecuteResult::Stored);
    EXPECT_EQ(Slot(1).tag, corvis::SlotTagCommand);
    EXPECT_EQ(SlotText(1), u"");
    EXPECT_EQ(WriteIndex(), 2);
}

TEST_F(CommandRing, Accepts255UnitsAndRefuses256WithoutStoringAnything) {
    const std::u16string longest(255, u'a');
    EXPECT_EQ(Store(longest + u"a"), ExecuteResult::TooLong);
    EXPECT_EQ(WriteIndex(), 0);
    EXPECT_EQ(Slot(0).tag, 0);
    ASSERT_EQ(Store(longest), ExecuteResult::Stored);
    EXPECT_EQ(SlotText(0), longest);
}

TEST_F(CommandRing, RefusesWhen99CommandsWaitAndNeverOverwritesOne) {
    for (int i = 0; i < 99; ++i) ASSERT_EQ(Store(u"Reset\t0\t"), ExecuteResult::Stored) << i;
    EXPECT_EQ(WriteIndex(), 99);
    EXPECT_EQ(Store(u"SoundOut\t1\tx"), ExecuteResult::RingFull);
    EXPECT_EQ(Slot(99).tag, 0);
    EXPECT_EQ(WriteIndex(), 99);

    // The worker has run slot 0: one more fits, into slot 99, and the ring is full again.
    RunFront();
    ASSERT_EQ(Store(u"SoundOut\t1\tx"), ExecuteResult::Stored);
    EXPECT_EQ(SlotText(99), u"SoundOut\t1\tx");
    EXPECT_EQ(WriteIndex(), 0);
    EXPECT_EQ(Store(u"SoundOut\t1\ty"), ExecuteResult::RingFull);
    EXPECT_EQ(SlotText(0), u"Reset\t0\t");
}

TEST_F(CommandRing, WrapsFromSlot99ToSlot0) {
    for (int i = 0; i < 99; ++i) {
        ASSERT_EQ(Store(u"Reset\t0\t"), ExecuteResult::Stored);
        RunFront();
    }
    EXPECT_EQ(module_->ring.front(), nullptr);
    ASSERT_EQ(Store(u"SoundOut\t1\ta"), ExecuteResult::Stored);
    EXPECT_EQ(WriteIndex(), 0);
    ASSERT_EQ(Store(u"SoundOut\t1\tb"), ExecuteResult::Stored);
    EXPECT_EQ(WriteIndex(), 1);
    EXPECT_EQ(SlotText(99), u"SoundOut\t1\ta");
    EXPECT_EQ(SlotText(0), u"SoundOut\t1\tb");
}

}  // namespace
