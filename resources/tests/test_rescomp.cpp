// The resource source format: bytes of every item kind, errors with their
// line numbers, and the embedded image of the program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/atoms.h"
#include "platform/dialog_resources.h"
#include "resources/rescomp/resource_source.h"
#include "resources/resources.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Compiles one source text; the first resource's data, or the error.
struct Compiled {
    bool ok;
    std::vector<ResourceSpec> resources;
    std::string error;
};

Compiled compile(const std::string& text) {
    ResourceSourceResult r;
    bool ok = parseResourceSourceText(text, "t.r", "", &r);
    return {ok, r.resources, r.error};
}

Bytes dataOf(const std::string& body) {
    Compiled c = compile("resource TEST 1 {\n" + body + "\n}\n");
    EXPECT_TRUE(c.ok) << c.error;
    return c.ok ? c.resources.at(0).data : Bytes{};
}

TEST(ResourceSource, IntegerAndCodeItemsAreBigEndian) {
    EXPECT_EQ(dataOf("u8 255 i8 -1 u16 0x1234 i16 -2 u32 1 i32 -2101"),
              (Bytes{0xFF, 0xFF, 0x12, 0x34, 0xFF, 0xFE, 0, 0, 0, 1, 0xFF, 0xFF, 0xF7, 0xCB}));
    EXPECT_EQ(dataOf("fixed 8192 fixed 29.97 fixed -1.5"),
              (Bytes{0x20, 0, 0, 0, 0x00, 0x1D, 0xF8, 0x52, 0xFF, 0xFE, 0x80, 0}));
    EXPECT_EQ(dataOf("ufixed 44100"), (Bytes{0xAC, 0x44, 0, 0}));
    EXPECT_FALSE(compile("resource TEST 1 { fixed 44100 }").ok);
    EXPECT_FALSE(compile("resource TEST 1 { ufixed -1 }").ok);
    EXPECT_EQ(dataOf("type 'fps ' type STR#"), (Bytes{'f', 'p', 's', ' ', 'S', 'T', 'R', '#'}));
    EXPECT_EQ(dataOf("bytes { 00 ff 0A0b }"), (Bytes{0, 0xFF, 0x0A, 0x0B}));
}

TEST(ResourceSource, StringsAreMacRomanInTheirFields) {
    EXPECT_EQ(dataOf("pstr \"CLIÉ\""), (Bytes{4, 'C', 'L', 'I', 0x83}));
    Bytes field = dataOf("pstr[6] \"ab\" cstr[4] \"xyz\" cstr \"\"");
    EXPECT_EQ(field, (Bytes{2, 'a', 'b', 0, 0, 0, 'x', 'y', 'z', 0, 0}));
    EXPECT_EQ(dataOf("pstr \"a\\\"\\\\\\r\\x80\""), (Bytes{5, 'a', '"', '\\', '\r', 0x80}));
    EXPECT_EQ(dataOf("strings { \"Custom\" \"-\" } # trailing comment"),
              (Bytes{0, 2, 6, 'C', 'u', 's', 't', 'o', 'm', 1, '-'}));
    EXPECT_EQ(dataOf("strings { }"), (Bytes{0, 0}));
    EXPECT_EQ(dataOf("counted u16 { [ i16 -50 pstr \"P\" ] [ i16 -34 pstr \"D\" ] }"),
              (Bytes{0, 2, 0xFF, 0xCE, 1, 'P', 0xFF, 0xDE, 1, 'D'}));
}

TEST(ResourceSource, WindowResourcesCompileToWhatTheReadersAccept) {
    Bytes dl = dataOf("dialog { bounds 0 0 104 360  visible 0  items 158  title \"Name of Movie\" }");
    DialogTemplate d;
    ASSERT_EQ(parseDialogTemplate(dl, &d), noErr);
    EXPECT_EQ(d.bounds, (QDRect{0, 0, 104, 360}));
    EXPECT_EQ(d.kind, kDialogKindMovable) << "the default kind";
    EXPECT_FALSE(d.visible);
    EXPECT_EQ(d.itemsID, 158);
    EXPECT_EQ(d.title, "Name of Movie");

    Bytes items = dataOf(
        "ditl {\n button 68 270 90 346 \"OK\"\n edit 22 72 44 346 \"\"\n"
        " disabled static 25 14 43 68 \"Name:\"\n control 1 2 3 4 139\n user 0 0 5 5\n"
        " picture 0 0 12 12 1000 }");
    std::vector<DialogItemTemplate> it;
    std::string why;
    ASSERT_EQ(parseDialogItemList(items, &it, &why), noErr) << why;
    ASSERT_EQ(it.size(), 6u);
    EXPECT_EQ(it[0].kind, kButtonItem);
    EXPECT_EQ(it[0].bounds, (QDRect{68, 270, 90, 346}));
    EXPECT_TRUE(it[2].disabled);
    EXPECT_EQ(it[2].text, "Name:");
    EXPECT_EQ(it[3].resourceID, 139);
    EXPECT_EQ(it[4].kind, kUserItem);
    EXPECT_EQ(it[5].resourceID, 1000);

    ControlTemplate c;
    ASSERT_EQ(parseControlTemplate(
                  dataOf("control { bounds 0 0 22 292  max 60  min 157  proc 1008  title \"Drive:\" }"), &c),
              noErr);
    EXPECT_EQ(c.procID, kControlProcPopup);
    EXPECT_EQ(c.min, 157);
    EXPECT_EQ(c.title, "Drive:");
    MenuTemplate m;
    ASSERT_EQ(parseMenuTemplate(dataOf("menu { id 161 title \"D\" items { \"Handheld\" \"-\" } }"), &m),
              noErr);
    EXPECT_EQ(m.menuID, 161);
    ASSERT_EQ(m.items.size(), 2u);
    AlertTemplate a;
    ASSERT_EQ(parseAlertTemplate(dataOf("alert { bounds 0 0 132 380 items 130 }"), &a), noErr);
    EXPECT_EQ(a.itemsID, 130);

    // Mistakes are caught with their line.
    for (const char* bad : {"resource DITL 1 {\n ditl { }\n}",
                            "resource DITL 1 {\n ditl { button 10 10 5 50 \"OK\" }\n}",
                            "resource DITL 1 {\n ditl { knob 0 0 1 1 }\n}",
                            "resource DLOG 1 {\n dialog { bounds 0 0 0 0 }\n}",
                            "resource DLOG 1 {\n dialog { stages 3 }\n}",
                            "resource MENU 1 {\n menu { items { \"\" } }\n}"}) {
        Compiled r = compile(bad);
        EXPECT_FALSE(r.ok) << bad;
        EXPECT_NE(r.error.find("t.r:2:"), std::string::npos) << r.error;
    }
}

TEST(ResourceSource, TheProgramsDialogsAllRead) {
    // Every window resource the program carries reads back, and every
    // dialog's items fit inside it.
    const ResourceFile& rf = moviepackerResources();
    for (int i = 1; i <= rf.count(kResTypeItemList); ++i) {
        std::span<const uint8_t> data;
        ResID id = 0;
        ASSERT_EQ(rf.getIndexed(kResTypeItemList, i, &data, &id), noErr);
        std::vector<DialogItemTemplate> items;
        std::string why;
        EXPECT_EQ(parseDialogItemList(data, &items, &why), noErr) << "DITL " << id << ": " << why;
        for (const DialogItemTemplate& t : items)
            if (t.kind == kControlItem) {
                std::span<const uint8_t> cntl;
                EXPECT_EQ(rf.get(kResTypeControl, t.resourceID, &cntl), noErr)
                    << "DITL " << id << " names CNTL " << t.resourceID;
            }
    }
    for (FourCC type : {kResTypeDialog, kResTypeAlert}) {
        for (int i = 1; i <= rf.count(type); ++i) {
            std::span<const uint8_t> data;
            ResID id = 0;
            ASSERT_EQ(rf.getIndexed(type, i, &data, &id), noErr);
            QDRect bounds;
            ResID itemsID = 0;
            if (type == kResTypeDialog) {
                DialogTemplate t;
                ASSERT_EQ(parseDialogTemplate(data, &t), noErr) << id;
                bounds = t.bounds;
                itemsID = t.itemsID;
            } else {
                AlertTemplate t;
                ASSERT_EQ(parseAlertTemplate(data, &t), noErr) << id;
                bounds = t.bounds;
                itemsID = t.itemsID;
            }
            std::span<const uint8_t> list;
            ASSERT_EQ(rf.get(kResTypeItemList, itemsID, &list), noErr) << id;
            std::vector<DialogItemTemplate> items;
            ASSERT_EQ(parseDialogItemList(list, &items), noErr);
            for (size_t n = 0; n < items.size(); ++n) {
                const QDRect& r = items[n].bounds;
                EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= bounds.width() &&
                            r.bottom <= bounds.height())
                    << "window " << id << " item " << n + 1;
            }
        }
    }
    for (int i = 1; i <= rf.count(kResTypeMenu); ++i) {
        std::span<const uint8_t> data;
        ASSERT_EQ(rf.getIndexed(kResTypeMenu, i, &data), noErr);
        MenuTemplate m;
        EXPECT_EQ(parseMenuTemplate(data, &m), noErr);
    }
    for (int i = 1; i <= rf.count(kResTypePicture); ++i) {
        std::span<const uint8_t> data;
        ASSERT_EQ(rf.getIndexed(kResTypePicture, i, &data), noErr);
        PictureInfo p;
        EXPECT_EQ(parsePictureInfo(data, &p), noErr);
    }
    EXPECT_GE(rf.count(kResTypeDialog), 4);
}

TEST(ResourceSource, ContainersFlattenToAtomBytes) {
    Bytes flat = dataOf(
        "container {\n"
        "  atom colr 1 { atom dpth 1 { i16 32 } }\n"
        "  atom soun 1 { atom fmts 1 { atom tvsc 1 { i32 626 } atom tvsc 2 { i32 628 } } }\n"
        "}");
    AtomContainer want;
    AtomRef colr, soun, fmts;
    want.insertChild(kAtomRoot, fourCC("colr"), 1, {}, &colr);
    want.writeI16(colr, fourCC("dpth"), 1, 32);
    want.insertChild(kAtomRoot, fourCC("soun"), 1, {}, &soun);
    want.insertChild(soun, fourCC("fmts"), 1, {}, &fmts);
    want.writeI32(fmts, fourCC("tvsc"), 1, 626);
    want.writeI32(fmts, fourCC("tvsc"), 2, 628);
    EXPECT_EQ(flat, want.flatten());
}

TEST(ResourceSource, NamesOrderAndIncludes) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "rescompXXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    const std::string base = tmpl;
    std::ofstream(base + "/inner.r") << "resource STR# 2 \"Two\" { file \"blob.bin\" }\n";
    std::ofstream(base + "/blob.bin") << "xyz";
    ResourceSourceResult r;
    ASSERT_TRUE(parseResourceSourceText(
        "resource STR# 9 { u8 1 }\ninclude \"inner.r\"\nresource MANU 512 \"M\" { }\n", "t.r", base,
        &r))
        << r.error;
    ASSERT_EQ(r.resources.size(), 3u);
    EXPECT_EQ(r.resources[1].id, 2);
    EXPECT_EQ(r.resources[1].name, "Two");
    EXPECT_EQ(r.resources[1].data, (Bytes{'x', 'y', 'z'}));
    EXPECT_EQ(r.resources[2].type, fourCC("MANU"));
    EXPECT_EQ(r.filesRead.size(), 2u);  // inner.r and blob.bin
    std::filesystem::remove_all(base);
}

TEST(ResourceSource, ErrorsNameTheLine) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"resource TEST 1 {\n u8 256 }", "t.r:2: 256 is out of range"},
        {"resource TEST 1 {\n i16 x }", "t.r:2: 'x' is not a number"},
        {"resource TEST 1 {\n pstr[3] \"abc\" }", "t.r:2: string of 3 bytes exceeds 2"},
        {"resource TEST 1 {\n pstr \"\xE4\xB8\x80\" }", "t.r:2: text is not representable"},
        {"resource TEST 1 { }\n\nresource TEST 1 { }", "t.r:3: resource defined twice"},
        {"resource TES 1 { }", "t.r:1: a type code has four characters"},
        {"resource TEST 1 {\n container { atom a 1 { } } }", "t.r:2: a type code has four"},
        {"resource TEST 1 { container {\n atom abcd 1 { }\n atom abcd 1 { } } }",
         "t.r:3: atom type and ID used twice"},
        {"resource TEST 1 { container { atom abcd 1 { atom efgh 1 { } u8 1 } } }",
         "t.r:1: expected 'atom' or '}'"},
        {"resource TEST 1 { \"unterminated }", "t.r:1: unterminated string"},
        {"resource TEST 1 { frob 1 }", "t.r:1: unknown data item 'frob'"},
        {"resource TEST 1 { u8 1 ", "t.r:1: expected a data item"},
        {"bogus", "t.r:1: expected 'resource' or 'include'"},
        {"include \"/nonexistent/x.r\"", "t.r:1: cannot read /nonexistent/x.r"},
    };
    for (const Case& c : cases) {
        Compiled r = compile(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.error.rfind(c.message, 0), 0u) << c.text << " gave: " << r.error;
    }
}

TEST(ProgramResources, EmbeddedImageOpensWithItsErrorTexts) {
    const ResourceFile& rf = moviepackerResources();
    std::span<const uint8_t> estr;
    ASSERT_EQ(rf.get(fourCC("ESTR"), 128, &estr), noErr);
    ASSERT_GE(estr.size(), 2u);
    // Walk the table: count, then code and counted text per entry.
    const size_t count = size_t(estr[0] << 8 | estr[1]);
    size_t at = 2;
    std::string outOfMemory;
    for (size_t i = 0; i < count; ++i) {
        ASSERT_LE(at + 3, estr.size());
        const int16_t code = int16_t(estr[at] << 8 | estr[at + 1]);
        const size_t len = estr[at + 2];
        ASSERT_LE(at + 3 + len, estr.size());
        if (code == kStatusOutOfMemory)
            outOfMemory.assign(reinterpret_cast<const char*>(&estr[at + 3]), len);
        at += 3 + len;
    }
    EXPECT_EQ(at, estr.size());
    EXPECT_EQ(count, 13u);
    EXPECT_EQ(outOfMemory, "Out of memory");
    std::string s;
    ASSERT_EQ(getIndString(rf, 133, 1, &s), noErr);
    EXPECT_EQ(s, "Error code ");
}

}  // namespace
