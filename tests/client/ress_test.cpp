#include "ress.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "codepage.h"

namespace {

using tavc::codepage::gbk_from_utf8;
namespace ress = tavc::tessel::ress;

static_assert(std::size(ress::PaymentPhrases) == 26);
static_assert(std::size(ress::ClinicNames) == 38);
static_assert(std::size(ress::HospitalCashierPhrases) == 52);
static_assert(std::size(ress::HospitalRegistrationPhrases) == 52);
static_assert(std::size(ress::WindowDirections) == 8);
static_assert(std::size(ress::RailwayTicketPhrases) == 42);

struct Table {
    const char* name;
    const char* const* entries;
    size_t size;
    size_t filled;  // entries that are not the empty text
};

template <size_t N>
Table table(const char* name, const char* const (&entries)[N], size_t filled) {
    return Table{name, entries, N, filled};
}

const Table kTables[] = {
    table("PaymentPhrases", ress::PaymentPhrases, 13),
    table("ClinicNames", ress::ClinicNames, 38),
    table("HospitalCashierPhrases", ress::HospitalCashierPhrases, 23),
    table("HospitalRegistrationPhrases", ress::HospitalRegistrationPhrases, 25),
    table("WindowDirections", ress::WindowDirections, 8),
    table("RailwayTicketPhrases", ress::RailwayTicketPhrases, 24),
};

TEST(PhraseTables, HoldEveryEntryWithTheEmptyOnesAsEmptyTexts) {
    for (const Table& t : kTables) {
        size_t filled = 0;
        for (size_t i = 0; i < t.size; ++i) {
            ASSERT_NE(t.entries[i], nullptr) << t.name << "[" << i << "]";
            filled += t.entries[i][0] != '\0';
        }
        EXPECT_EQ(filled, t.filled) << t.name;
    }
}

struct Sample {
    const char* const* table;
    size_t index;
    const char* utf8;
};

class PhraseTableEntry : public ::testing::TestWithParam<Sample> {};

TEST_P(PhraseTableEntry, IsTheGbkFormOfItsText) {
    const Sample& s = GetParam();
    EXPECT_EQ(std::string(s.table[s.index]), gbk_from_utf8(s.utf8));
}

INSTANTIATE_TEST_SUITE_P(
    Samples, PhraseTableEntry,
    ::testing::Values(
        Sample{ress::PaymentPhrases, 0, "请您付款"}, Sample{ress::PaymentPhrases, 1, ""},
        Sample{ress::PaymentPhrases, 8, "找零请当面点清,谢谢"}, Sample{ress::PaymentPhrases, 20, "对不起"},
        Sample{ress::PaymentPhrases, 22, ""}, Sample{ress::PaymentPhrases, 23, "张"},
        Sample{ress::PaymentPhrases, 25, "次"}, Sample{ress::ClinicNames, 0, "眼科门诊"},
        Sample{ress::ClinicNames, 10, "专家门诊皮肤科"}, Sample{ress::ClinicNames, 34, "屈光矫治中心"},
        Sample{ress::ClinicNames, 35, "城东社区卫生站"}, Sample{ress::ClinicNames, 36, "城西社区卫生站"},
        Sample{ress::ClinicNames, 37, "综合门诊神外"},
        Sample{ress::HospitalCashierPhrases, 0, "请您到挂号室输入门诊号"},
        Sample{ress::HospitalCashierPhrases, 2, ""},
        Sample{ress::HospitalCashierPhrases, 4, "请您出示就诊卡"},
        Sample{ress::HospitalCashierPhrases, 16, ""},
        Sample{ress::HospitalCashierPhrases, 18, "请您支付住院预交金"},
        Sample{ress::HospitalCashierPhrases, 48, "请您出示医保手册,如未带手册,请于交费前到建卡处补录手册号"},
        Sample{ress::HospitalCashierPhrases, 50, "请到建卡处填写医保手册"},
        Sample{ress::HospitalRegistrationPhrases, 0, "请问您是住院还是出院"},
        Sample{ress::HospitalRegistrationPhrases, 34, "您存入的金额是"},
        Sample{ress::HospitalRegistrationPhrases, 36, ""},
        Sample{ress::HospitalRegistrationPhrases, 38, "您的预交款不足请补交"},
        Sample{ress::HospitalRegistrationPhrases, 48, "请您输入密码，按确认结束"},
        Sample{ress::HospitalRegistrationPhrases, 50, "请核实"},
        Sample{ress::HospitalRegistrationPhrases, 51, ""}, Sample{ress::WindowDirections, 0, "请您到"},
        Sample{ress::WindowDirections, 1, "号窗口取药"},
        Sample{ress::WindowDirections, 5, "号检票口检票进站"},
        Sample{ress::WindowDirections, 7, "号窗口收取清单"},
        Sample{ress::RailwayTicketPhrases, 0, "请问您去哪里"},
        Sample{ress::RailwayTicketPhrases, 6, "对不起"},
        Sample{ress::RailwayTicketPhrases, 7, "次车座位票已售完"},
        Sample{ress::RailwayTicketPhrases, 17, "次车票已售完"}, Sample{ress::RailwayTicketPhrases, 19, ""},
        Sample{ress::RailwayTicketPhrases, 40, "您要的车票无卧铺,是否购买"},
        Sample{ress::RailwayTicketPhrases, 41, ""}));

TEST(PhraseTables, NameTwoHealthStationsOfSevenCharacters) {
    for (size_t i : {35u, 36u}) {
        std::string name = ress::ClinicNames[i];
        ASSERT_EQ(name.size(), 14u);
        for (size_t b = 0; b < name.size(); b += 2) EXPECT_GE(static_cast<unsigned char>(name[b]), 0x81);
    }
}

TEST(PhraseTables, UseTheFullWidthCommaInOneEntryOnly) {
    const std::string full_width = gbk_from_utf8("，");
    for (const Table& t : kTables) {
        for (size_t i = 0; i < t.size; ++i) {
            // Whole characters only: a trail byte and the next lead byte may look like the comma.
            std::string_view text = t.entries[i];
            bool found = false;
            for (size_t b = 0; b + 1 < text.size(); b += static_cast<unsigned char>(text[b]) >= 0x81 ? 2 : 1)
                found = found || text.substr(b, 2) == full_width;
            bool expected = t.entries == ress::HospitalRegistrationPhrases && i == 48;
            EXPECT_EQ(found, expected) << t.name << "[" << i << "]";
        }
    }
}

TEST(PhraseTables, AreNotInTheLibrarysDynamicSymbolTable) {
    const char* bin = std::getenv("TAVC_BIN_DIR");
    if (!bin) GTEST_SKIP() << "TAVC_BIN_DIR not set";
    std::string library = std::string(bin) + "/libtessel.so";
    if (std::FILE* f = std::fopen(library.c_str(), "rb")) {
        std::fclose(f);
    } else {
        GTEST_SKIP() << library << " not built";
    }
    if (std::system("command -v nm >/dev/null 2>&1") != 0) GTEST_SKIP() << "nm not installed";

    // The listing, or none when nm fails.
    auto symbols = [&](const char* options) -> std::optional<std::string> {
        std::string out;
        std::FILE* p = popen(("nm " + std::string(options) + " '" + library + "' 2>&1").c_str(), "r");
        if (!p) return std::nullopt;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        if (pclose(p) != 0 || out.find("no symbols") != std::string::npos) return std::nullopt;
        return out;
    };
    auto dynamic = symbols("-D --defined-only");
    ASSERT_TRUE(dynamic);
    auto all = symbols("--defined-only");  // none for a stripped library
    for (const Table& t : kTables) {
        EXPECT_EQ(dynamic->find(t.name), std::string::npos) << t.name;
        // Built into the library, only hidden.
        if (all) {
            EXPECT_NE(all->find(t.name), std::string::npos) << t.name;
        }
    }
}

}  // namespace
