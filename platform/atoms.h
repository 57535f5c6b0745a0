#pragma once
// Atom containers: the interchange form of export settings, device profiles,
// presentation layouts and preferences.
//
// Flattened layout (all numbers big-endian):
//   container header, 12 bytes: 10 reserved zero bytes, 16-bit lock count 0;
//   the root atom, type 'sean', ID 1, holding every top-level atom;
//   each atom: a 20-byte header of size (header, data and children), type,
//   ID, 16-bit reserved, 16-bit child count, 32-bit reserved, then either
//   its leaf data (child count 0) or its children.
// The bytes are stored in files, so flatten() is exact and load() treats its
// input as untrusted: every size, count and nesting level is checked first.
//
// In memory an atom is named by an AtomRef, a small number that stays valid
// until that atom (or an ancestor) is removed or the container is replaced.
// kAtomRoot names the container itself as a parent. Refs of one container
// mean nothing in another.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/status.h"

using FourCC = uint32_t;

// A four-character code from its text, most significant character first.
constexpr FourCC fourCC(const char (&s)[5]) {
    return (FourCC(uint8_t(s[0])) << 24) | (FourCC(uint8_t(s[1])) << 16) |
           (FourCC(uint8_t(s[2])) << 8) | FourCC(uint8_t(s[3]));
}

using AtomRef = int32_t;
using AtomID = int32_t;

inline constexpr AtomRef kAtomRoot = 0;     // the container itself, as a parent
inline constexpr AtomRef kAtomNone = -1;    // "no such atom"
inline constexpr FourCC kAtomAnyType = 0;   // matches every type in queries
inline constexpr AtomID kAtomUniqueID = 0;  // insert: pick the lowest unused ID

inline constexpr size_t kAtomContainerHeaderSize = 12;
inline constexpr size_t kAtomHeaderSize = 20;
// Deepest nesting load() accepts below the root; real containers use about six.
inline constexpr int kAtomMaxDepth = 32;

class AtomContainer {
  public:
    // An empty container (only the root).
    AtomContainer();

    // Copies are deep and independent; refs stay meaningful in the copy.
    AtomContainer(const AtomContainer&) = default;
    AtomContainer& operator=(const AtomContainer&) = default;
    AtomContainer(AtomContainer&&) noexcept = default;
    AtomContainer& operator=(AtomContainer&&) noexcept = default;

    // --- Building -----------------------------------------------------------

    // Appends a new atom as the last child of parent. id kAtomUniqueID picks
    // the lowest positive ID not yet used by that type under parent (1 in an
    // empty parent). data is copied; empty data makes an atom that may later
    // receive children or data. newAtom (may be null) receives its ref.
    // Status: noErr; kStatusParamError for type 0, a parent that holds leaf
    // data, or a parent with 65535 children already; kStatusInvalidAtom for a
    // bad parent ref; kStatusDuplicateAtom when type and id are taken.
    OSStatus insertChild(AtomRef parent, FourCC type, AtomID id, std::span<const uint8_t> data = {},
                         AtomRef* newAtom = nullptr);

    // Copies every child of sourceParent in source (with their subtrees, in
    // order, keeping their IDs) to the end of parent's children. source may be
    // *this. Status as insertChild; on failure nothing is inserted.
    OSStatus insertChildren(AtomRef parent, const AtomContainer& source,
                            AtomRef sourceParent = kAtomRoot);

    // Replaces *out with a new container whose root holds a copy of atom and
    // its subtree. Status: noErr, kStatusParamError (null out or the root),
    // kStatusInvalidAtom.
    OSStatus copyAtom(AtomRef atom, AtomContainer* out) const;

    // Removes atom and its subtree; their refs become invalid.
    // Status: noErr, kStatusParamError (the root), kStatusInvalidAtom.
    OSStatus removeAtom(AtomRef atom);

    // Removes every child of parent of the given type (kAtomAnyType: all).
    OSStatus removeChildren(AtomRef parent, FourCC type = kAtomAnyType);

    // --- Finding ------------------------------------------------------------

    // The child of parent with this type and ID, or kAtomNone.
    AtomRef findChild(AtomRef parent, FourCC type, AtomID id) const;

    // The index-th (1-based) child of parent of this type (kAtomAnyType: of
    // any type), or kAtomNone. id (may be null) receives its ID.
    AtomRef findChildByIndex(AtomRef parent, FourCC type, int index, AtomID* id = nullptr) const;

    // Number of children of parent of this type (kAtomAnyType: all); 0 for a
    // bad ref.
    int countChildren(AtomRef parent, FourCC type = kAtomAnyType) const;

    // True for the root and for every atom not removed.
    bool isValid(AtomRef atom) const;

    // Type and ID of an atom (the root reads as 'sean', 1). Either pointer may
    // be null. Status: noErr or kStatusInvalidAtom.
    OSStatus atomTypeAndID(AtomRef atom, FourCC* type, AtomID* id) const;

    // The parent of an atom, kAtomNone for the root or a bad ref.
    AtomRef parentOf(AtomRef atom) const;

    // --- Leaf data ----------------------------------------------------------

    // The leaf data of an atom; empty for a parent or a bad ref. The span is
    // valid until the container is next changed.
    std::span<const uint8_t> leafData(AtomRef atom) const;

    // Replaces the leaf data. Status: noErr; kStatusNotLeafAtom when the atom
    // has children; kStatusParamError for the root; kStatusInvalidAtom.
    OSStatus setLeafData(AtomRef atom, std::span<const uint8_t> data);

    // Copies the leaf data into out. With exactSize the data must be exactly
    // out.size() bytes; otherwise it may be shorter and the rest of out is
    // left alone. actualSize (may be null) receives the bytes copied.
    // Status: noErr; kStatusParamError on a size mismatch (nothing copied);
    // kStatusNotLeafAtom for a parent; kStatusInvalidAtom.
    OSStatus copyLeafData(AtomRef atom, std::span<uint8_t> out, bool exactSize,
                          size_t* actualSize = nullptr) const;

    // Typed reads of the child (parent, type, id), big-endian, exact size.
    // Status: noErr; kStatusNotFound (-2101) when the child is missing;
    // kStatusParamError when its data is not exactly the size; *out is
    // unchanged on failure.
    OSStatus readI16(AtomRef parent, FourCC type, AtomID id, int16_t* out) const;
    OSStatus readU16(AtomRef parent, FourCC type, AtomID id, uint16_t* out) const;
    OSStatus readI32(AtomRef parent, FourCC type, AtomID id, int32_t* out) const;
    OSStatus readU32(AtomRef parent, FourCC type, AtomID id, uint32_t* out) const;

    // Typed writes: set the child's data when it exists, else insert it
    // (id kAtomUniqueID is not allowed here: kStatusParamError).
    OSStatus writeI16(AtomRef parent, FourCC type, AtomID id, int16_t v);
    OSStatus writeU16(AtomRef parent, FourCC type, AtomID id, uint16_t v);
    OSStatus writeI32(AtomRef parent, FourCC type, AtomID id, int32_t v);
    OSStatus writeU32(AtomRef parent, FourCC type, AtomID id, uint32_t v);
    OSStatus writeData(AtomRef parent, FourCC type, AtomID id, std::span<const uint8_t> data);

    // Finds the child (parent, type, id) or inserts it as an empty atom.
    OSStatus findOrInsert(AtomRef parent, FourCC type, AtomID id, AtomRef* atom);

    // --- Bytes --------------------------------------------------------------

    // The flattened form (see the top of this file).
    std::vector<uint8_t> flatten() const;
    size_t flattenedSize() const;

    // Parses bytes into *out. Accepts exactly one container (no trailing
    // bytes, and the root atom always present, as flatten() writes it). *out is
    // replaced only on success. Status: noErr; kStatusParamError for a null
    // out; kStatusInvalidAtomContainer for anything malformed (short header,
    // sizes or counts that do not fit, nesting deeper than kAtomMaxDepth, a
    // type 0, a type and ID used twice under one parent, non-zero reserved
    // fields, a root other than 'sean' 1).
    static OSStatus load(std::span<const uint8_t> bytes, AtomContainer* out);

  private:
    struct Node {
        FourCC type = 0;
        AtomID id = 0;
        AtomRef parent = kAtomNone;
        bool alive = true;
        std::vector<uint8_t> data;
        std::vector<AtomRef> children;
    };

    size_t atomSize(AtomRef atom) const;
    void flattenAtom(AtomRef atom, std::vector<uint8_t>& out) const;
    AtomRef cloneSubtree(const AtomContainer& src, AtomRef srcAtom, AtomRef parent);
    void kill(AtomRef atom);
    OSStatus checkParent(AtomRef parent) const;

    class Loader;
    friend class Loader;

    std::vector<Node> m_nodes;
};
