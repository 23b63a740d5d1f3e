// tavc-rating-server as a person runs it, reached by the library's server exports: logins answered from
// its list of clerks, every uploaded rating printed on its console and accepted.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.h"
#include "codepage.h"
#include "copied_host.h"

namespace {

using namespace std::chrono_literals;
using tavc::test::ChildProcess;
using tavc::test::CopiedHost;

std::string program() {
    return std::string(std::getenv("TAVC_BIN_DIR")) + "/tavc-rating-server";
}

class RatingServerConsole : public ::testing::Test {
  protected:
    void SetUp() override {
        server_.emplace(std::vector<std::string>{program(), "--port", "0", "0001=1234", "0002=pass word"});
        std::optional<std::string> first = server_->read_line(10s);
        ASSERT_TRUE(first.has_value());
        const std::string_view listening = "rating server: listening on 127.0.0.1:";
        ASSERT_TRUE(first->starts_with(listening)) << *first;
        port_ = std::to_string(std::stoi(first->substr(listening.size())));
        EXPECT_NE(first->find("2 clerk(s)"), std::string::npos) << *first;
    }
    int32_t Call(std::vector<std::string> args) {
        args.insert(args.end(), {url_, port_});
        return host_.call(args);
    }

    std::optional<ChildProcess> server_;
    std::string port_;
    const std::string url_ = "http://127.0.0.1/tavc/";
    CopiedHost host_;
};

struct LoginCase {
    const char* user;
    const char* password;
    int32_t answer;
    const char* printed;
};

TEST_F(RatingServerConsole, AnswersEachLoginFromItsListOfClerks) {
    const LoginCase cases[] = {
        {"0001", "1234", 0, "rating server: slogin.asp user=\"0001\" -> 0 (accepted)"},
        {"0002", "pass word", 0, "rating server: slogin.asp user=\"0002\" -> 0 (accepted)"},
        {"0001", "12345", 3, "rating server: slogin.asp user=\"0001\" -> 3 (wrong password)"},
        {"0009", "1234", 2, "rating server: slogin.asp user=\"0009\" -> 2 (no such clerk)"},
        {"", "1234", 1, "rating server: slogin.asp user=\"\" -> 1 (user or password missing)"},
    };
    for (const LoginCase& c : cases) {
        SCOPED_TRACE(std::string(c.user) + "/" + c.password);
        EXPECT_EQ(Call({"TAVCLoginToDB", c.user, c.password}), c.answer);
        EXPECT_EQ(server_->read_line(5s), c.printed);
    }
}

TEST_F(RatingServerConsole, PrintsEveryUploadedRatingAndAcceptsIt) {
    const std::string reason = tavc::codepage::gbk_from_utf8("服务态度不好");
    ASSERT_EQ(host_.call({"TAVCRemarkToCache", "0001", std::to_string('M'), reason}), 0);
    ASSERT_EQ(host_.call({"TAVCRemarkToCache", "0001", std::to_string('I'), ""}), 0);
    EXPECT_EQ(Call({"TAVCUploadRemarks"}), 0);
    std::optional<std::string> first = server_->read_line(5s), second = server_->read_line(5s);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->starts_with(
        "rating server: sremark.asp user=\"0001\" remark=\"M\" detail=\"服务态度不好\" time=\"2"))
        << *first;
    EXPECT_TRUE(first->ends_with("\" -> 0 (recorded)")) << *first;
    EXPECT_TRUE(
        second->starts_with("rating server: sremark.asp user=\"0001\" remark=\"I\" detail=\"\" time="))
        << *second;
    // Accepted, so nothing is left to upload.
    EXPECT_EQ(Call({"TAVCUploadRemarks"}), 0);
    EXPECT_FALSE(server_->read_line(300ms).has_value());
}

TEST(RatingServerConsoleStart, RefusesAServerWithoutClerksOrAPortItCannotHave) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"--port", "x", "0001=1"}, {"0001"}, {"--port", "70000", "0001=1"}}) {
        std::vector<std::string> argv{program()};
        argv.insert(argv.end(), args.begin(), args.end());
        EXPECT_EQ(ChildProcess(argv).wait(10s), 2);
    }
    ChildProcess first({program(), "--port", "0", "0001=1"});
    std::optional<std::string> line = first.read_line(10s);
    ASSERT_TRUE(line.has_value());
    const std::string port = line->substr(line->rfind(':') + 1, line->find(',') - line->rfind(':') - 1);
    EXPECT_EQ(ChildProcess({program(), "--port", port, "0001=1"}).wait(10s), 1);
}

}  // namespace
