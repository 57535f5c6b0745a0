// Atom containers: exact bytes, ID rules, copying, and loading hostile input.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/atoms.h"

namespace {

using Bytes = std::vector<uint8_t>;

void be32(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
void be16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
void header(Bytes& b, uint32_t size, const char (&type)[5], int32_t id, uint16_t children) {
    be32(b, size);
    be32(b, fourCC(type));
    be32(b, uint32_t(id));
    be16(b, 0);
    be16(b, children);
    be32(b, 0);
}

// A settings-shaped container: colr/dpth and size/vide.
AtomContainer sample() {
    AtomContainer c;
    AtomRef colr, size;
    EXPECT_EQ(c.insertChild(kAtomRoot, fourCC("colr"), 1, {}, &colr), noErr);
    EXPECT_EQ(c.writeI16(colr, fourCC("dpth"), 1, 36), noErr);
    EXPECT_EQ(c.insertChild(kAtomRoot, fourCC("size"), 1, {}, &size), noErr);
    EXPECT_EQ(c.writeU32(size, fourCC("vide"), 1, 0x00A00078u), noErr);
    return c;
}

TEST(AtomBytes, EmptyContainerIsHeaderAndRoot) {
    Bytes want(10, 0);
    be16(want, 0);
    header(want, 20, "sean", 1, 0);
    EXPECT_EQ(AtomContainer().flatten(), want);
}

TEST(AtomBytes, NestedLayoutIsExact) {
    Bytes want(12, 0);
    header(want, 20 + 22 + 20 + 20 + 24, "sean", 1, 2);
    header(want, 42, "colr", 1, 1);
    header(want, 22, "dpth", 1, 0);
    be16(want, 36);
    header(want, 44, "size", 1, 1);
    header(want, 24, "vide", 1, 0);
    be32(want, 0x00A00078u);
    AtomContainer c = sample();
    EXPECT_EQ(c.flatten(), want);
    EXPECT_EQ(c.flattenedSize(), want.size());

    AtomContainer back;
    ASSERT_EQ(AtomContainer::load(want, &back), noErr);
    EXPECT_EQ(back.flatten(), want);
    int16_t depth = 0;
    EXPECT_EQ(back.readI16(back.findChild(kAtomRoot, fourCC("colr"), 1), fourCC("dpth"), 1, &depth),
              noErr);
    EXPECT_EQ(depth, 36);
}

TEST(AtomIDs, UniqueIDIsLowestUnusedOfThatType) {
    AtomContainer c;
    AtomID id;
    AtomRef a;
    ASSERT_EQ(c.insertChild(kAtomRoot, fourCC("CSTM"), kAtomUniqueID, {}, &a), noErr);
    c.atomTypeAndID(a, nullptr, &id);
    EXPECT_EQ(id, 1);
    ASSERT_EQ(c.insertChild(kAtomRoot, fourCC("CSTM"), 3), noErr);
    ASSERT_EQ(c.insertChild(kAtomRoot, fourCC("XLOC"), 2), noErr);  // other types don't count
    ASSERT_EQ(c.insertChild(kAtomRoot, fourCC("CSTM"), kAtomUniqueID, {}, &a), noErr);
    c.atomTypeAndID(a, nullptr, &id);
    EXPECT_EQ(id, 2);
    ASSERT_EQ(c.insertChild(kAtomRoot, fourCC("CSTM"), kAtomUniqueID, {}, &a), noErr);
    c.atomTypeAndID(a, nullptr, &id);
    EXPECT_EQ(id, 4);
    c.removeAtom(c.findChild(kAtomRoot, fourCC("CSTM"), 1));
    ASSERT_EQ(c.insertChild(kAtomRoot, fourCC("CSTM"), kAtomUniqueID, {}, &a), noErr);
    c.atomTypeAndID(a, nullptr, &id);
    EXPECT_EQ(id, 1);
    // Appended last whatever its ID: order is insertion order.
    EXPECT_EQ(c.findChildByIndex(kAtomRoot, fourCC("CSTM"), 4), a);
    EXPECT_EQ(c.insertChild(kAtomRoot, fourCC("CSTM"), 3), kStatusDuplicateAtom);
}

TEST(AtomEdits, RulesForLeavesParentsAndStaleRefs) {
    AtomContainer c;
    const uint8_t one[] = {1};
    AtomRef leaf, parent;
    ASSERT_EQ(c.insertChild(kAtomRoot, fourCC("leaf"), 1, one, &leaf), noErr);
    EXPECT_EQ(c.insertChild(leaf, fourCC("kid "), 1), kStatusParamError);
    EXPECT_EQ(c.insertChild(kAtomRoot, kAtomAnyType, 1), kStatusParamError);
    ASSERT_EQ(c.insertChild(kAtomRoot, fourCC("par "), 1, {}, &parent), noErr);
    ASSERT_EQ(c.insertChild(parent, fourCC("kid "), 1), noErr);
    EXPECT_EQ(c.setLeafData(parent, one), kStatusNotLeafAtom);
    EXPECT_EQ(c.removeAtom(kAtomRoot), kStatusParamError);

    AtomRef kid = c.findChild(parent, fourCC("kid "), 1);
    ASSERT_EQ(c.removeAtom(parent), noErr);
    EXPECT_FALSE(c.isValid(kid));
    EXPECT_EQ(c.insertChild(kid, fourCC("x   "), 1), kStatusInvalidAtom);
    EXPECT_EQ(c.removeAtom(parent), kStatusInvalidAtom);
    EXPECT_EQ(c.countChildren(kAtomRoot), 1);

    // Exact-size reads distinguish missing from malformed.
    int16_t v = 7;
    EXPECT_EQ(c.readI16(kAtomRoot, fourCC("leaf"), 1, &v), kStatusParamError);
    EXPECT_EQ(c.readI16(kAtomRoot, fourCC("none"), 1, &v), kStatusNotFound);
    EXPECT_EQ(v, 7);
    uint8_t buf[4] = {9, 9, 9, 9};
    size_t got = 0;
    EXPECT_EQ(c.copyLeafData(leaf, buf, false, &got), noErr);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[1], 9);
    EXPECT_EQ(c.copyLeafData(leaf, buf, true), kStatusParamError);
}

TEST(AtomCopy, SubtreesTravelWithTheirIDsAndOrder) {
    AtomContainer src = sample();
    AtomContainer pres;
    AtomRef colr = src.findChild(kAtomRoot, fourCC("colr"), 1);
    ASSERT_EQ(src.copyAtom(colr, &pres), noErr);
    EXPECT_EQ(pres.countChildren(kAtomRoot), 1);

    AtomContainer dst;
    ASSERT_EQ(dst.insertChild(kAtomRoot, fourCC("name"), 1), noErr);
    ASSERT_EQ(dst.insertChildren(kAtomRoot, src), noErr);
    ASSERT_EQ(dst.countChildren(kAtomRoot), 3);
    EXPECT_EQ(dst.findChildByIndex(kAtomRoot, kAtomAnyType, 2),
              dst.findChild(kAtomRoot, fourCC("colr"), 1));
    // A second copy would duplicate IDs: refused whole, nothing half-added.
    EXPECT_EQ(dst.insertChildren(kAtomRoot, src), kStatusDuplicateAtom);
    EXPECT_EQ(dst.countChildren(kAtomRoot), 3);

    // Copying a container's children into its own subtree terminates.
    AtomContainer self = sample();
    AtomRef size = self.findChild(kAtomRoot, fourCC("size"), 1);
    AtomRef inner;
    ASSERT_EQ(self.insertChild(size, fourCC("box "), 1, {}, &inner), noErr);
    ASSERT_EQ(self.insertChildren(inner, self), noErr);
    EXPECT_EQ(self.countChildren(inner), 2);
    AtomContainer back;
    ASSERT_EQ(AtomContainer::load(self.flatten(), &back), noErr);
    EXPECT_EQ(back.flatten(), self.flatten());
}

TEST(AtomLoad, EveryTruncationAndSizeCorruptionIsAnError) {
    Bytes good = sample().flatten();
    AtomContainer out = sample();
    const Bytes before = out.flatten();
    for (size_t n = 0; n < good.size(); ++n) {
        Bytes cut(good.begin(), good.begin() + long(n));
        EXPECT_EQ(AtomContainer::load(cut, &out), kStatusInvalidAtomContainer) << n;
    }
    EXPECT_EQ(out.flatten(), before);  // failures leave the output alone

    // Each atom's size field (offsets of the five headers) off by one either way.
    for (size_t at : {12u, 32u, 52u, 74u, 94u}) {
        for (int delta : {-1, 1, 1000000}) {
            Bytes bad = good;
            uint32_t size =
                (uint32_t(bad[at]) << 24) | (bad[at + 1] << 16) | (bad[at + 2] << 8) | bad[at + 3];
            size += uint32_t(delta);
            for (int k = 0; k < 4; ++k) bad[at + size_t(k)] = uint8_t(size >> (24 - 8 * k));
            EXPECT_NE(AtomContainer::load(bad, &out), noErr) << at << " " << delta;
        }
        // Child counts that claim more than is there.
        Bytes bad = good;
        bad[at + 15] = uint8_t(bad[at + 15] + 1);
        EXPECT_NE(AtomContainer::load(bad, &out), noErr) << at;
    }
    Bytes trailing = good;
    trailing.push_back(0);
    EXPECT_NE(AtomContainer::load(trailing, &out), noErr);
    // Root type, root ID, container header and each reserved field of an atom.
    for (size_t at : {16u, 23u, 0u, 11u, 52u + 12, 52u + 19}) {
        Bytes bad = good;
        bad[at] ^= 0x40;
        EXPECT_NE(AtomContainer::load(bad, &out), noErr) << at;
    }
    EXPECT_EQ(AtomContainer::load(good, nullptr), kStatusParamError);
}

TEST(AtomLoad, DuplicatesZeroTypesAndDeepNestingAreRefused) {
    Bytes dup(12, 0);
    header(dup, 60, "sean", 1, 2);
    header(dup, 20, "abcd", 5, 0);
    header(dup, 20, "abcd", 5, 0);
    AtomContainer out;
    EXPECT_EQ(AtomContainer::load(dup, &out), kStatusInvalidAtomContainer);
    dup[12 + 20 + 20 + 11] = 6;  // second ID 6: fine
    EXPECT_EQ(AtomContainer::load(dup, &out), noErr);
    dup[12 + 20 + 4] = dup[12 + 20 + 5] = dup[12 + 20 + 6] = dup[12 + 20 + 7] = 0;
    EXPECT_EQ(AtomContainer::load(dup, &out), kStatusInvalidAtomContainer);

    auto nested = [](int levels) {
        Bytes b(12, 0);
        header(b, uint32_t(20 * (levels + 1)), "sean", 1, levels > 0);
        for (int i = 0; i < levels; ++i)
            header(b, uint32_t(20 * (levels - i)), "nest", 1, i + 1 < levels);
        return b;
    };
    EXPECT_EQ(AtomContainer::load(nested(kAtomMaxDepth), &out), noErr);
    EXPECT_EQ(AtomContainer::load(nested(kAtomMaxDepth + 1), &out), kStatusInvalidAtomContainer);
}

}  // namespace
