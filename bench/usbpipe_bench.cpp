// What one 64-byte read or write through the exports costs beyond the device's own time, and how long the
// read time-out really lasts, against a device that umockdev emulates (sysfs, udev and its usbfs node in
// this process) and that answers at once. Each call finds the device through udev and opens and claims it
// through libusb twice (the probe, then the pipe), as it would with a real device; the emulated node
// adds a socket round trip to each usbfs request.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "usb_device_fake.h"
#include "usbpipe.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kBlock = 64;

tavc::test::UsbDevice* device = nullptr;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The block is waiting before the call, so the read never waits.
void ReadWithDataWaiting(benchmark::State& state) {
    const std::string block(kBlock, 'r');
    std::string buffer(kBlock, '\0');
    for (auto _ : state) {
        device->send(tavc::test::kIn1, block);
        Clock::time_point start = Clock::now();
        int32_t r = ReadPort1(buffer.data(), kBlock);
        state.SetIterationTime(seconds_since(start));
        if (r != 0) {
            state.SkipWithError("the read failed");
            break;
        }
    }
}

void Write(benchmark::State& state) {
    const std::string block(kBlock, 'w');
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        int32_t r = WritePort1(block.data(), kBlock);
        state.SetIterationTime(seconds_since(start));
        if (r != 0) {
            state.SkipWithError("the write failed");
            break;
        }
    }
}

// Nothing comes: the whole 1000 ms limit, the control request and the closes.
void ReadTimeOut(benchmark::State& state) {
    std::string buffer(kBlock, '\0');
    double longest = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        int32_t r = ReadPort1(buffer.data(), kBlock);
        double spent = seconds_since(start);
        state.SetIterationTime(spent);
        longest = std::max(longest, spent);
        if (r != -1) {
            state.SkipWithError("the device answered");
            break;
        }
    }
    state.counters["longest_ms"] = longest * 1000;
}

}  // namespace

int main(int argc, char** argv) {
    tavc::test::UsbTestbed bed;
    if (!bed.ok()) {
        std::fprintf(stderr, "umockdev's preload library is not available\n");
        return 1;
    }
    device = &bed.plug("1-1");

    benchmark::RegisterBenchmark("ReadPort1/64B_waiting", ReadWithDataWaiting)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("WritePort1/64B", Write)->UseManualTime()->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("ReadPort1/TimeOut", ReadTimeOut)
        ->UseManualTime()
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
