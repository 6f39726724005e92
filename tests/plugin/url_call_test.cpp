#include "url_call.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace callvane {
namespace {

// Nodes laid out as the installer allocates them: the pointer, then exactly
// `string_size` bytes of text, so that reading one byte too many is a heap
// overflow the address sanitizer reports.
std::vector<StackNode*> g_freed;

void RecordAndFree(StackNode* node) {
    g_freed.push_back(node);
    std::free(node);
}

StackNode* NewNode(const std::string& text, int string_size, StackNode* next,
                   bool terminate = true) {
    auto* node = static_cast<StackNode*>(std::malloc(offsetof(StackNode, text) + string_size));
    node->next = next;
    char* buffer = reinterpret_cast<char*>(node) + offsetof(StackNode, text);
    std::memcpy(buffer, text.data(), text.size());
    if (terminate) {
        buffer[text.size()] = '\0';
    }
    return node;
}

// A stack of the given strings, the first one on top; string_size fits the
// longest of them.
StackNode* NewStack(const std::vector<std::string>& texts, int string_size = 1024) {
    StackNode* top = nullptr;
    for (auto it = texts.rbegin(); it != texts.rend(); ++it) {
        top = NewNode(*it, string_size, top);
    }
    return top;
}

void FreeStack(StackNode* top) {
    while (top != nullptr) {
        StackNode* next = top->next;
        std::free(top);
        top = next;
    }
}

class StackTest : public ::testing::Test {
  protected:
    void SetUp() override { g_freed.clear(); }
};

TEST_F(StackTest, PopCopiesAtMost255BytesAndFreesTheNode) {
    struct Case {
        std::size_t length;
        std::size_t kept;
    } const cases[] = {{0, 0}, {1, 1}, {255, 255}, {256, 255}, {10000, 255}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        g_freed.clear();
        std::string text(c.length, 'x');
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<char>('a' + i % 26);
        }
        StackNode* below = NewStack({"below"});
        StackNode* top = NewNode(text, static_cast<int>(c.length + 1), below);
        StackNode* popped = top;
        char out[kFieldSize];
        std::memset(out, '#', sizeof out);

        ASSERT_TRUE(PopString(&top, static_cast<int>(c.length + 1), RecordAndFree, out));
        EXPECT_EQ(std::string(out), text.substr(0, c.kept));
        EXPECT_EQ(top, below);
        EXPECT_EQ(g_freed, std::vector<StackNode*>{popped});
        FreeStack(top);
    }
}

TEST_F(StackTest, PopNeverReadsPastTheNodesStringSize) {
    // An unterminated text in a node smaller than a field: only the node's
    // own bytes are copied.
    StackNode* top = NewNode("abcdefgh", 8, nullptr, /*terminate=*/false);
    char out[kFieldSize];
    ASSERT_TRUE(PopString(&top, 8, RecordAndFree, out));
    EXPECT_STREQ(out, "abcdefgh");
    EXPECT_EQ(top, nullptr);

    top = NewNode("", 1, nullptr);
    ASSERT_TRUE(PopString(&top, 0, RecordAndFree, out));
    EXPECT_STREQ(out, "");
    EXPECT_EQ(g_freed.size(), 2u);
}

TEST_F(StackTest, PopFromAnEmptyStackChangesNothing) {
    StackNode* top = nullptr;
    char out[kFieldSize] = "stale";
    EXPECT_FALSE(PopString(&top, 1024, RecordAndFree, out));
    EXPECT_STREQ(out, "");
    std::strcpy(out, "stale");
    EXPECT_FALSE(PopString(nullptr, 1024, RecordAndFree, out));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(g_freed.empty());
}

TEST_F(StackTest, RequestFieldsTakeExactlyThreeStringsInOrder) {
    StackNode* top =
        NewStack({"http://example.test/r.php", "Ann Lee", "ann@example.test", "sentinel"});
    StackNode* sentinel = top->next->next->next;
    RequestFields fields = PopRequestFields(&top, 1024, RecordAndFree);
    EXPECT_STREQ(fields.web_address, "http://example.test/r.php");
    EXPECT_STREQ(fields.name, "Ann Lee");
    EXPECT_STREQ(fields.email, "ann@example.test");
    EXPECT_EQ(top, sentinel);
    EXPECT_EQ(g_freed.size(), 3u);
    FreeStack(top);
}

TEST_F(StackTest, MissingStringsAreTakenAsEmpty) {
    for (std::size_t count = 0; count < 3; ++count) {
        SCOPED_TRACE(count);
        g_freed.clear();
        const std::vector<std::string> all = {"http://a.test/", "name", "mail"};
        StackNode* top = NewStack({all.begin(), all.begin() + count});
        RequestFields fields = PopRequestFields(&top, 1024, RecordAndFree);
        EXPECT_EQ(top, nullptr);
        EXPECT_EQ(g_freed.size(), count);
        EXPECT_EQ(std::string(fields.web_address), count > 0 ? all[0] : "");
        EXPECT_EQ(std::string(fields.name), count > 1 ? all[1] : "");
        EXPECT_STREQ(fields.email, "");
    }
}

std::string Encode(const std::string& text, std::size_t out_size = 1024) {
    std::vector<char> out(out_size);
    PercentEncode(text.data(), text.size(), out.data(), out.size());
    return out.data();
}

TEST(PercentEncodeTest, KeepsOnlyUnreservedCharacters) {
    struct Case {
        std::string text;
        std::string encoded;
    } const cases[] = {
        {"", ""},
        {"AZaz09-._~", "AZaz09-._~"},
        {"Ann Lee", "Ann%20Lee"},
        {"a&b=c%d+e", "a%26b%3Dc%25d%2Be"},
        {"/?#:@!$'()*,;", "%2F%3F%23%3A%40%21%24%27%28%29%2A%2C%3B"},
        {"\xE9\x80\xFF\x01\x7F", "%E9%80%FF%01%7F"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Encode(c.text), c.encoded) << c.text;
    }
}

TEST(PercentEncodeTest, ReportsTheFullLengthAndNeverCutsAnEscape) {
    char out[5];  // four characters and the terminator
    EXPECT_EQ(PercentEncode("ab c", 4, out, sizeof out), 6u);
    EXPECT_STREQ(out, "ab");
    EXPECT_EQ(PercentEncode("a bc", 4, out, sizeof out), 6u);
    EXPECT_STREQ(out, "a%20");
    EXPECT_EQ(PercentEncode("abcd", 4, out, sizeof out), 4u);
    EXPECT_STREQ(out, "abcd");
}

RequestFields Fields(const std::string& web, const std::string& name, const std::string& email) {
    RequestFields fields;
    std::strncpy(fields.web_address, web.c_str(), kFieldSize - 1);
    std::strncpy(fields.name, name.c_str(), kFieldSize - 1);
    std::strncpy(fields.email, email.c_str(), kFieldSize - 1);
    return fields;
}

TEST(BuildRequestUrlTest, AppendsTheEncodedQueryToTheAddressAsGiven) {
    char url[kRequestSize];
    ASSERT_TRUE(
        BuildRequestUrl(Fields("http://h.test:81/a b/r.php", "O'Neil & Co", "x+y@z.test"), url));
    EXPECT_STREQ(url, "http://h.test:81/a b/r.php?Name=O%27Neil%20%26%20Co&Email=x%2By%40z.test");

    ASSERT_TRUE(BuildRequestUrl(RequestFields{}, url));
    EXPECT_STREQ(url, "?Name=&Email=");
}

TEST(BuildRequestUrlTest, RefusesAnAddressLongerThan1023Bytes) {
    // 200 + "?Name=" + 255 encoded spaces (765) + "&Email=" + e-mail = 978 + e-mail.
    const std::string web = "http://h.test/" + std::string(186, 'w');
    const std::string name(255, ' ');
    char url[kRequestSize];
    ASSERT_TRUE(BuildRequestUrl(Fields(web, name, std::string(45, 'e')), url));
    EXPECT_EQ(std::strlen(url), 1023u);

    std::strcpy(url, "stale");
    EXPECT_FALSE(BuildRequestUrl(Fields(web, name, std::string(46, 'e')), url));
    EXPECT_STREQ(url, "");
    EXPECT_FALSE(BuildRequestUrl(Fields(web, name, std::string(255, '%')), url));
    EXPECT_STREQ(url, "");
}

TEST(BuildRequestUrlTest, ReadsNoFurtherThan255BytesOfAnUnterminatedField) {
    RequestFields fields;
    std::memset(fields.web_address, 'w', kFieldSize);
    std::memset(fields.name, 'n', kFieldSize);
    std::memset(fields.email, 'e', kFieldSize);
    char url[kRequestSize];
    ASSERT_TRUE(BuildRequestUrl(fields, url));
    EXPECT_EQ(std::string(url), std::string(255, 'w') + "?Name=" + std::string(255, 'n') +
                                    "&Email=" + std::string(255, 'e'));
}

}  // namespace
}  // namespace callvane
