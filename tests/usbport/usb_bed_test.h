// A test with its own umockdev test bed: after the test, the host has closed every opening of each
// device's node, and the process holds the descriptors it held before the test, so no call kept anything.
#pragma once

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "usb_device_fake.h"

namespace tavc::test {

class UsbBedTest : public ::testing::Test {
  public:
    UsbDevice& plug(const std::string& name, std::vector<UsbInterface> interfaces = {UsbInterface{}}) {
        UsbDevice& device = bed_.plug(name, std::move(interfaces));
        plugged_.push_back(&device);
        // The bed's own descriptors for the device's node.
        open_before_ = open_paths();
        return device;
    }
    UsbTestbed& bed() { return bed_; }

  protected:
    void SetUp() override {
        if (!bed_.ok()) GTEST_SKIP() << "umockdev's preload library is not available";
        open_before_ = open_paths();
    }
    void TearDown() override {
        if (IsSkipped()) return;
        for (UsbDevice* device : plugged_) EXPECT_TRUE(device->wait_until_closed()) << "a node stayed open";
        EXPECT_EQ(open_paths(), open_before_) << "a descriptor stayed open";
    }

    UsbTestbed bed_;
    std::vector<UsbDevice*> plugged_;
    std::multiset<std::string> open_before_;
};

}  // namespace tavc::test
