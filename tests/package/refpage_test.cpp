// The reference page of quenbrix: its methods are exactly the documented
// messages of the plug-in's message table, with the arguments they take.
#include "package_support.h"

#include "liveapp_texts.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <cctype>

namespace {

const std::string refpage_path =
    QUENBRIX_PACKAGE_STATIC "/docs/refpages/quenbrix.maxref.xml";

class RefPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(doc_.LoadFile(refpage_path.c_str()), tinyxml2::XML_SUCCESS)
            << refpage_path << ": " << doc_.ErrorStr();
        root_ = doc_.FirstChildElement("c74object");
        ASSERT_NE(root_, nullptr) << "the root element is not c74object";
    }

    static std::string text(const tinyxml2::XMLElement *parent, const char *child)
    {
        const tinyxml2::XMLElement *e = parent ? parent->FirstChildElement(child) : nullptr;
        std::string out = e && e->GetText() ? e->GetText() : "";
        while (!out.empty() && std::isspace((unsigned char)out.back()))
            out.pop_back();
        size_t start = out.find_first_not_of(" \t\r\n");
        return start == std::string::npos ? "" : out.substr(start);
    }

    std::vector<const tinyxml2::XMLElement *> children(const char *list,
                                                       const char *item) const
    {
        std::vector<const tinyxml2::XMLElement *> out;
        const tinyxml2::XMLElement *l = root_->FirstChildElement(list);
        for (auto *e = l ? l->FirstChildElement(item) : nullptr; e;
             e = e->NextSiblingElement(item))
            out.push_back(e);
        return out;
    }

    tinyxml2::XMLDocument doc_;
    const tinyxml2::XMLElement *root_ = nullptr;
};

} // namespace

TEST_F(RefPage, NamesTheClassWithDigestAndDescription)
{
    EXPECT_STREQ(root_->Attribute("name"), LIVEAPP_CLASS_NAME);
    EXPECT_STREQ(root_->Attribute("module"), "max");
    EXPECT_FALSE(text(root_, "digest").empty());
    EXPECT_FALSE(text(root_, "description").empty());
}

TEST_F(RefPage, MethodsAreExactlyTheDocumentedMessages)
{
    std::set<std::string> listed;
    for (auto *m : children("methodlist", "method")) {
        const char *name = m->Attribute("name");
        ASSERT_NE(name, nullptr) << "a method without a name";
        EXPECT_TRUE(listed.insert(name).second) << "listed twice: " << name;
        EXPECT_FALSE(text(m, "digest").empty()) << name << " has no digest";
        EXPECT_FALSE(text(m, "description").empty()) << name << " has no description";
    }
    std::set<std::string> documented = documented_messages();
    ASSERT_FALSE(documented.empty());
    EXPECT_EQ(listed, documented);
}

TEST_F(RefPage, LeavesOutBangAndTheHostsOwnMethods)
{
    // The premise: these are in the table, so leaving them out is a choice.
    ASSERT_EQ(message_argtype("bang"), A_NOTHING);
    ASSERT_EQ(message_argtype("assist"), A_CANT);
    ASSERT_EQ(message_argtype("dblclick"), A_CANT);
    for (auto *m : children("methodlist", "method")) {
        std::string name = m->Attribute("name") ? m->Attribute("name") : "";
        EXPECT_NE(name, "bang");
        EXPECT_NE(name, "assist");
        EXPECT_NE(name, "dblclick");
    }
}

TEST_F(RefPage, ArgumentsMatchWhatEachMessageTakes)
{
    for (auto *m : children("methodlist", "method")) {
        std::string name = m->Attribute("name") ? m->Attribute("name") : "";
        SCOPED_TRACE(name);
        const tinyxml2::XMLElement *args = m->FirstChildElement("arglist");
        ASSERT_NE(args, nullptr) << "no arglist";
        int count = 0;
        for (auto *a = args->FirstChildElement("arg"); a; a = a->NextSiblingElement("arg"))
            ++count;
        if (message_argtype(name) == A_NOTHING) {
            EXPECT_EQ(count, 0) << "the object takes no arguments for this message";
        } else {
            // addfile takes a list; the file name is its one meaningful atom.
            ASSERT_EQ(message_argtype(name), A_GIMME);
            ASSERT_EQ(count, 1);
            EXPECT_STREQ(args->FirstChildElement("arg")->Attribute("type"), "symbol");
        }
    }
}

TEST_F(RefPage, DescribesTheOneInletAndEveryOutlet)
{
    auto inlets = children("inletlist", "inlet");
    auto outlets = children("outletlist", "outlet");
    EXPECT_EQ(inlets.size(), 1u);
    EXPECT_EQ((int)outlets.size(), quenbrix_outlet_count());
    for (size_t i = 0; i < outlets.size(); ++i) {
        EXPECT_EQ(outlets[i]->IntAttribute("id", -1), (int)i);
        EXPECT_FALSE(text(outlets[i], "digest").empty());
    }
    ASSERT_EQ(outlets.size(), 2u);
    EXPECT_NE(text(outlets[0], "digest").find("Live Set name"), std::string::npos);
    EXPECT_NE(text(outlets[1], "digest").find("ok or error"), std::string::npos);
}

TEST_F(RefPage, FocusMethodsTellAnEmptyMacSaveAndAVanishedWindowApart)
{
    std::string savefocus, recallfocus;
    for (auto *m : children("methodlist", "method")) {
        if (std::string(m->Attribute("name")) == "savefocus")
            savefocus = text(m, "description");
        if (std::string(m->Attribute("name")) == "recallfocus")
            recallfocus = text(m, "description");
    }
    EXPECT_NE(savefocus.find("none of its windows is key"), std::string::npos) << savefocus;
    EXPECT_NE(savefocus.find(LIVEAPP_TEXT_NOTHING_SAVED), std::string::npos) << savefocus;
    EXPECT_NE(recallfocus.find(LIVEAPP_TEXT_WINDOW_GONE), std::string::npos) << recallfocus;
    EXPECT_NE(recallfocus.find("closed or hidden"), std::string::npos) << recallfocus;
}
