// The exports called from several threads at once, on all four pipes of a device that umockdev emulates:
// every block arrives once and whole, and nothing stays open afterwards.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "usb_device_fake.h"
#include "usbpipe.h"

namespace {

using tavc::test::UsbDevice;
using tavc::test::UsbTestbed;

constexpr size_t kBlock = 64;
constexpr int kThreadsPerPipe = 4;
constexpr int kBlocksPerThread = 50;
constexpr int kBlocksPerPipe = kThreadsPerPipe * kBlocksPerThread;

// A block no other block equals: who made it, and its number, then a filling that depends on both.
std::string tagged_block(const char* maker, int number) {
    char head[32];
    int n = std::snprintf(head, sizeof head, "%s#%04d:", maker, number);
    std::string bytes(head, static_cast<size_t>(n));
    while (bytes.size() < kBlock) bytes += static_cast<char>('A' + (number + bytes.size()) % 26);
    return bytes;
}

std::vector<std::string> sorted(std::vector<std::string> blocks) {
    std::sort(blocks.begin(), blocks.end());
    return blocks;
}

TEST(UsbPipeThreads, CallsOnAllFourPipesAtOnceLoseAndMixNoBlock) {
    UsbTestbed bed;
    if (!bed.ok()) GTEST_SKIP() << "umockdev's preload library is not available";
    UsbDevice& device = bed.plug("1-1");
    std::multiset<std::string> open_before = tavc::test::open_paths();

    struct ReadPipe {
        int32_t (*read)(void*, int32_t);
        uint8_t endpoint;
        const char* name;
    };
    struct WritePipe {
        int32_t (*write)(const void*, int32_t);
        uint8_t endpoint;
        const char* name;
    };
    const ReadPipe reads[] = {{ReadPort1, tavc::test::kIn1, "PIPE00"},
                              {ReadPort2, tavc::test::kIn2, "PIPE02"}};
    const WritePipe writes[] = {{WritePort1, tavc::test::kOut1, "PIPE01"},
                                {WritePort2, tavc::test::kOut2, "PIPE03"}};

    std::vector<std::thread> threads;
    std::vector<std::string> sent_to_reads[2];
    std::vector<std::string> got_by_reads[2][kThreadsPerPipe];
    std::vector<std::string> sent_by_writes[2][kThreadsPerPipe];
    std::atomic<int> failed_writes{0};

    for (int p = 0; p < 2; ++p) {
        for (int n = 0; n < kBlocksPerPipe; ++n) sent_to_reads[p].push_back(tagged_block(reads[p].name, n));
        // The device sends its blocks while the readers read.
        threads.emplace_back([&, p] {
            for (const std::string& b : sent_to_reads[p]) device.send(reads[p].endpoint, b);
        });
        for (int t = 0; t < kThreadsPerPipe; ++t) {
            threads.emplace_back([&, p, t] {
                // A time-out (-1) only means another reader was quicker; the block count bounds the tries.
                for (int tries = 0;
                     got_by_reads[p][t].size() < kBlocksPerThread && tries < 2 * kBlocksPerThread; ++tries) {
                    std::string buffer(kBlock, '\0');
                    if (reads[p].read(buffer.data(), kBlock) == 0) got_by_reads[p][t].push_back(buffer);
                }
            });
            threads.emplace_back([&, p, t] {
                char maker[16];
                std::snprintf(maker, sizeof maker, "%s/%d", writes[p].name, t);
                for (int n = 0; n < kBlocksPerThread; ++n) {
                    std::string b = tagged_block(maker, n);
                    if (writes[p].write(b.data(), kBlock) != 0) ++failed_writes;
                    sent_by_writes[p][t].push_back(b);
                }
            });
        }
    }
    for (std::thread& t : threads) t.join();

    EXPECT_EQ(failed_writes.load(), 0);
    for (int p = 0; p < 2; ++p) {
        std::vector<std::string> got;
        std::vector<std::string> sent;
        for (int t = 0; t < kThreadsPerPipe; ++t) {
            got.insert(got.end(), got_by_reads[p][t].begin(), got_by_reads[p][t].end());
            sent.insert(sent.end(), sent_by_writes[p][t].begin(), sent_by_writes[p][t].end());
        }
        EXPECT_EQ(sorted(got), sorted(sent_to_reads[p])) << reads[p].name;
        EXPECT_EQ(sorted(device.received(writes[p].endpoint)), sorted(sent)) << writes[p].name;
    }
    EXPECT_TRUE(device.wait_until_closed());
    EXPECT_EQ(tavc::test::open_paths(), open_before);
}

}  // namespace
