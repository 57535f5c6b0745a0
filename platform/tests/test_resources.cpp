// Resource images: the writer's bytes, reading them back, string lists,
// Mac Roman text, and malformed images.
#include <gtest/gtest.h>

#include <vector>

#include "platform/resources.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes strList(std::initializer_list<const char*> items) {
    Bytes b{0, uint8_t(items.size())};
    for (const char* s : items) {
        std::string t(s);
        b.push_back(uint8_t(t.size()));
        b.insert(b.end(), t.begin(), t.end());
    }
    return b;
}

std::vector<ResourceSpec> sampleSpecs() {
    return {
        {kResTypeStringList, 132, "", 0, strList({"Custom", "-"})},
        {fourCC("STNG"), 513, "Second", 0, {1, 2, 3}},
        {fourCC("STNG"), 512, "First", 0x20, {4}},
        {kResTypeStringList, 133, "Errors", 0, strList({"Error code "})},
        {fourCC("EMPT"), -5, "", 0, {}},
    };
}

Bytes sampleImage() {
    Bytes image;
    auto specs = sampleSpecs();
    EXPECT_EQ(buildResourceImage(specs, &image), noErr);
    return image;
}

TEST(ResourceImage, LayoutFieldsAreWhereReadersExpectThem) {
    Bytes img = sampleImage();
    auto be32 = [&](size_t at) {
        return (uint32_t(img[at]) << 24) | (img[at + 1] << 16) | (img[at + 2] << 8) | img[at + 3];
    };
    auto be16 = [&](size_t at) { return uint16_t((img[at] << 8) | img[at + 1]); };
    const uint32_t dataAt = be32(0), mapAt = be32(4), dataLen = be32(8), mapLen = be32(12);
    EXPECT_EQ(dataAt, 256u);
    EXPECT_EQ(mapAt, dataAt + dataLen);
    EXPECT_EQ(img.size(), size_t(mapAt) + mapLen);
    // First resource's data: length word then the STR# bytes.
    EXPECT_EQ(be32(dataAt), 2u + 7 + 2);
    EXPECT_TRUE(std::equal(img.begin(), img.begin() + 16, img.begin() + mapAt));
    const size_t typeList = mapAt + be16(mapAt + 24);
    EXPECT_EQ(be16(typeList), 2);  // three types, stored minus one
    EXPECT_EQ(be32(typeList + 2), kResTypeStringList);
    EXPECT_EQ(be16(typeList + 6), 1);  // two STR# resources, minus one
    EXPECT_EQ(be32(typeList + 10), fourCC("STNG"));
    // STNG 513's reference: ID, name offset, attributes, data offset.
    const size_t ref = typeList + be16(typeList + 16);
    EXPECT_EQ(be16(ref), 513);
    const size_t names = mapAt + be16(mapAt + 26);
    EXPECT_EQ(img[names + be16(ref + 2)], 6);
    EXPECT_EQ(std::string(img.begin() + long(names + be16(ref + 2) + 1),
                          img.begin() + long(names + be16(ref + 2) + 7)),
              "Second");
    EXPECT_EQ(img[ref + 12 + 4], 0x20);  // STNG 512's attributes
}

TEST(ResourceImage, ReadsBackByIdIndexAndName) {
    ResourceFile rf;
    ASSERT_EQ(ResourceFile::open(sampleImage(), &rf), noErr);
    EXPECT_EQ(rf.countTypes(), 3);
    EXPECT_EQ(rf.typeAt(2), fourCC("STNG"));
    EXPECT_EQ(rf.typeAt(4), 0u);
    EXPECT_EQ(rf.count(fourCC("STNG")), 2);
    EXPECT_EQ(rf.count(fourCC("NONE")), 0);

    std::span<const uint8_t> d;
    ResID id = 0;
    ASSERT_EQ(rf.getIndexed(fourCC("STNG"), 1, &d, &id), noErr);  // list order, not ID order
    EXPECT_EQ(id, 513);
    EXPECT_EQ(Bytes(d.begin(), d.end()), (Bytes{1, 2, 3}));
    EXPECT_EQ(rf.getIndexed(fourCC("STNG"), 3, &d), kStatusResourceNotFound);
    EXPECT_EQ(rf.getIndexed(fourCC("STNG"), 0, &d), kStatusResourceNotFound);
    ASSERT_EQ(rf.get(fourCC("EMPT"), -5, &d), noErr);
    EXPECT_TRUE(d.empty());
    EXPECT_EQ(rf.get(fourCC("STNG"), 514, &d), kStatusResourceNotFound);
    ASSERT_EQ(rf.getNamed(fourCC("STNG"), "First", &d, &id), noErr);
    EXPECT_EQ(id, 512);

    std::string name;
    ASSERT_EQ(rf.name(fourCC("STNG"), 512, &name), noErr);
    EXPECT_EQ(name, "First");
    ASSERT_EQ(rf.name(kResTypeStringList, 132, &name), noErr);
    EXPECT_EQ(name, "");

    Bytes copy;
    ASSERT_EQ(rf.detach(fourCC("STNG"), 512, &copy), noErr);
    EXPECT_EQ(copy, Bytes{4});
    EXPECT_EQ(rf.get(fourCC("STNG"), 512, nullptr), kStatusParamError);

    ResourceFile empty;
    std::vector<ResourceSpec> none;
    Bytes emptyImage;
    ASSERT_EQ(buildResourceImage(none, &emptyImage), noErr);
    ASSERT_EQ(ResourceFile::open(emptyImage, &empty), noErr);
    EXPECT_EQ(empty.countTypes(), 0);
}

TEST(ResourceImage, WriterRefusesWhatTheFormatCannotHold) {
    Bytes out;
    std::vector<ResourceSpec> dup = {{fourCC("STNG"), 1, "", 0, {}},
                                     {fourCC("STNG"), 1, "", 0, {}}};
    EXPECT_EQ(buildResourceImage(dup, &out), kStatusParamError);
    std::vector<ResourceSpec> longName = {{fourCC("STNG"), 1, std::string(256, 'a'), 0, {}}};
    EXPECT_EQ(buildResourceImage(longName, &out), kStatusParamError);
    std::vector<ResourceSpec> sameIdOtherType = {{fourCC("STNG"), 1, "", 0, {}},
                                                 {fourCC("MANU"), 1, "", 0, {}}};
    EXPECT_EQ(buildResourceImage(sameIdOtherType, &out), noErr);
}

TEST(ResourceImage, MalformedImagesFailWithoutReadingOutside) {
    const Bytes good = sampleImage();
    ResourceFile rf;
    for (size_t n = 0; n < good.size(); ++n) {
        Bytes cut(good.begin(), good.begin() + long(n));
        EXPECT_EQ(ResourceFile::open(cut, &rf), kStatusBadResourceMap) << n;
    }
    // Flip every byte of the header and the map in turn: open either fails
    // or yields resources that lie inside the image; every byte is touched
    // so that the sanitizer build sees any read outside it.
    const size_t mapAt = 256 + ((good[8] << 24) | (good[9] << 16) | (good[10] << 8) | good[11]);
    for (size_t at = 0; at < good.size(); ++at) {
        if (at >= 16 && at < mapAt) continue;
        Bytes bad = good;
        bad[at] ^= 0xFF;
        if (ResourceFile::open(bad, &rf) != noErr) continue;
        for (int t = 1; t <= rf.countTypes(); ++t) {
            for (int i = 1; i <= rf.count(rf.typeAt(t)); ++i) {
                std::span<const uint8_t> d;
                ASSERT_EQ(rf.getIndexed(rf.typeAt(t), i, &d), noErr);
                EXPECT_LE(d.size(), bad.size());
                unsigned sum = 0;
                for (uint8_t b : d) sum += b;
                (void)sum;
            }
        }
    }
}

TEST(StringList, ItemsAndMalformedLists) {
    ResourceFile rf;
    ASSERT_EQ(ResourceFile::open(sampleImage(), &rf), noErr);
    std::string s;
    ASSERT_EQ(getIndString(rf, 132, 2, &s), noErr);
    EXPECT_EQ(s, "-");
    EXPECT_EQ(getIndString(rf, 132, 3, &s), kStatusResourceNotFound);
    EXPECT_EQ(getIndString(rf, 132, 0, &s), kStatusResourceNotFound);
    EXPECT_EQ(getIndString(rf, 999, 1, &s), kStatusResourceNotFound);

    std::vector<std::string> items;
    EXPECT_EQ(parseStringList(Bytes{0, 0}, &items), noErr);
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(parseStringList(Bytes{0, 2, 1, 'a'}, &items), kStatusBadResourceMap);
    EXPECT_EQ(parseStringList(Bytes{0, 1, 3, 'a', 'b'}, &items), kStatusBadResourceMap);
    EXPECT_EQ(parseStringList(Bytes{0, 1, 1, 'a', 'x'}, &items), kStatusBadResourceMap);
    EXPECT_EQ(parseStringList(Bytes{0}, &items), kStatusBadResourceMap);
}

}  // namespace
