// What the cashier page's and the item-line page's steps send, from the field texts the clerk typed.
#include "amount_steps.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "handler_failure.h"

namespace {

using tavc::assistant::AmountDue;
using tavc::assistant::ChangeOf;
using tavc::assistant::CompletePayment;
using tavc::assistant::ItemLine;
using tavc::test::FailureOf;

TEST(CashierSteps, AmountDueIsShownAndSpokenWithTwoDecimals) {
    const auto texts = AmountDue("12", ".");
    EXPECT_EQ(texts.cost, "12.00");
    EXPECT_EQ(texts.sound, "12.00_P");
}

TEST(CashierSteps, ReceivedAmountGivesTheChangeAndThePaymentSendsThePair) {
    const std::string change = ChangeOf("100", "12.5", ".");
    EXPECT_EQ(change, "87.50");
    const auto payment = CompletePayment(change, "12.5", ".");
    EXPECT_EQ(payment.received, "100.00");
    EXPECT_EQ(payment.change, "87.50");
    EXPECT_EQ(payment.sounds, (std::array<std::string, 3>{"100.00_k", "87.50_b", "_C"}));
}

TEST(CashierSteps, ChangeTypedDirectlyGivesTheReceivedAmount) {
    const auto payment = CompletePayment("7.5", "12.5", ".");
    EXPECT_EQ(payment.received, "20.00");
    EXPECT_EQ(payment.change, "7.50");
}

TEST(CashierSteps, ReceivedBelowDueGivesANegativeChangeSentUnchanged) {
    const std::string change = ChangeOf("10", "12.5", ".");
    EXPECT_EQ(change, "-2.50");
    const auto payment = CompletePayment(change, "12.5", ".");
    EXPECT_EQ(payment.received, "10.00");
    EXPECT_EQ(payment.sounds[1], "-2.50_b");
}

TEST(CashierSteps, ReceivedIsWhatTheFieldThenReadsSoThePairAddsUp) {
    const auto payment = CompletePayment("0,005", "2,67", ",");
    EXPECT_EQ(payment.received, "2,68");
    EXPECT_EQ(payment.change, "0,01");
}

TEST(CashierSteps, FirstBadFieldInTheStepsOrderIsReported) {
    EXPECT_EQ(FailureOf([] { AmountDue("12,5", "."); }), "'12,5' is not a valid floating point value");
    EXPECT_EQ(FailureOf([] { ChangeOf("x", "y", "."); }), "'x' is not a valid floating point value");
    EXPECT_EQ(FailureOf([] { ChangeOf("100", "y", "."); }), "'y' is not a valid floating point value");
    EXPECT_EQ(FailureOf([] { CompletePayment("x", "y", "."); }), "'x' is not a valid floating point value");
    EXPECT_EQ(FailureOf([] { CompletePayment("1", "", "."); }), "'' is not a valid floating point value");
}

TEST(ItemLineStep, AddsEachLineToTheRunningTotal) {
    double total = 0;
    auto first = ItemLine("12.0", "1", total, ".");
    EXPECT_EQ(first.amount, "12.00");
    EXPECT_EQ(first.total, "12.00");
    auto second = ItemLine("12.0", "1", total, ".");
    EXPECT_EQ(second.amount, "12.00");
    EXPECT_EQ(second.total, "24.00");
    auto third = ItemLine("0.5", "-3", total, ".");
    EXPECT_EQ(third.amount, "-1.50");
    EXPECT_EQ(third.total, "22.50");
}

TEST(ItemLineStep, BadPriceOrQuantityLeavesTheRunningTotal) {
    double total = 24;
    EXPECT_EQ(FailureOf([&] { ItemLine("12.0", "1.5", total, "."); }), "'1.5' is not a valid integer value");
    EXPECT_EQ(FailureOf([&] { ItemLine("", "x", total, "."); }), "'' is not a valid floating point value");
    EXPECT_EQ(total, 24);
}

}  // namespace
