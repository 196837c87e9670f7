#include <gtest/gtest.h>

#include "cgi_xml.h"

namespace {

TEST(CgiXml, Table) {
    struct Case {
        std::string in;
        std::vector<std::pair<std::string, std::string>> fields;
    } cases[] = {
        {"<a>1</a><b>two words</b>", {{"a", "1"}, {"b", "two words"}}},
        {"junk<r><x>1</x>tail</r>", {{"r", ""}, {"x", "1"}}},
        {"<a>%41+</a>", {{"a", "%41+"}}},
        {"<a>open to the end", {{"a", "open to the end"}}},
        {"<a", {}},
        {"text only", {}},
        {"</a></b>", {}},
        {"<<a>1", {{"a", "1"}}},
        {"<>v", {{"", "v"}}},
        {"", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.in);
        CgiFieldStore store;
        CgiXmlParser().parse(store, c.in.data(), c.in.size());
        ASSERT_EQ(store.count(), static_cast<int>(c.fields.size()));
        for (int i = 0; i < store.count(); ++i) {
            EXPECT_EQ(store.at(i)->name(), c.fields[i].first);
            EXPECT_EQ(store.at(i)->value(), c.fields[i].second);
            EXPECT_STREQ(store.at(i)->dataSource(), "form");
        }
    }
}

} // namespace
