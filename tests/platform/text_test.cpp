// The short name for a long text: the names of stored folders and sockets are made of it, so its digits
// must never change.
#include "text.h"

#include <gtest/gtest.h>

namespace {

TEST(HashHex, IsTheFnv1a64HashInSixteenLowerCaseDigitsLeadingZerosKept) {
    EXPECT_EQ(tavc::text::hash_hex(""), "cbf29ce484222325");
    EXPECT_EQ(tavc::text::hash_hex("a"), "af63dc4c8601ec8c");
    EXPECT_EQ(tavc::text::hash_hex("foobar"), "85944171f73967e8");
    EXPECT_EQ(tavc::text::hash_hex("tavcclt"), "01735cf63c20f5e6");
    EXPECT_EQ(tavc::text::hash_hex(std::string_view("\xB9\xF1\0x", 4)).size(), 16u);
}

}  // namespace
