#include "platform/atoms.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr FourCC kRootType = fourCC("sean");
constexpr AtomID kRootID = 1;
constexpr size_t kMaxChildren = 0xFFFF;  // the header's child count is 16 bits

void putBE16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}
void putBE32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 24));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}
uint16_t getBE16(std::span<const uint8_t> s, size_t at) {
    return uint16_t((s[at] << 8) | s[at + 1]);
}
uint32_t getBE32(std::span<const uint8_t> s, size_t at) {
    return (uint32_t(s[at]) << 24) | (uint32_t(s[at + 1]) << 16) | (uint32_t(s[at + 2]) << 8) |
           uint32_t(s[at + 3]);
}

struct AtomHeader {
    uint32_t size;
    FourCC type;
    AtomID id;
    uint16_t childCount;
    bool reservedZero;
};

AtomHeader readHeader(std::span<const uint8_t> s, size_t at) {
    return AtomHeader{getBE32(s, at), getBE32(s, at + 4), AtomID(getBE32(s, at + 8)),
                      getBE16(s, at + 14), getBE16(s, at + 12) == 0 && getBE32(s, at + 16) == 0};
}

// Reserved fields are always written as zero; refusing anything else keeps
// every container that loads byte-identical to what it flattens to.
bool zeroContainerHeader(std::span<const uint8_t> s) {
    return std::all_of(s.begin(), s.begin() + long(kAtomContainerHeaderSize),
                       [](uint8_t b) { return b == 0; });
}

}  // namespace

AtomContainer::AtomContainer() {
    Node root;
    root.type = kRootType;
    root.id = kRootID;
    m_nodes.push_back(std::move(root));
}

bool AtomContainer::isValid(AtomRef atom) const {
    return atom >= 0 && size_t(atom) < m_nodes.size() && m_nodes[size_t(atom)].alive;
}

OSStatus AtomContainer::checkParent(AtomRef parent) const {
    if (!isValid(parent)) return kStatusInvalidAtom;
    const Node& p = m_nodes[size_t(parent)];
    if (!p.data.empty() || p.children.size() >= kMaxChildren) return kStatusParamError;
    return noErr;
}

OSStatus AtomContainer::insertChild(AtomRef parent, FourCC type, AtomID id,
                                    std::span<const uint8_t> data, AtomRef* newAtom) {
    if (type == kAtomAnyType) return kStatusParamError;
    if (OSStatus err = checkParent(parent)) return err;
    if (id == kAtomUniqueID) {
        // Lowest unused positive ID: collect the used ones and walk up from 1.
        std::vector<AtomID> used;
        for (AtomRef c : m_nodes[size_t(parent)].children)
            if (m_nodes[size_t(c)].type == type && m_nodes[size_t(c)].id > 0)
                used.push_back(m_nodes[size_t(c)].id);
        std::sort(used.begin(), used.end());
        id = 1;
        for (AtomID u : used) {
            if (u == id)
                ++id;
            else if (u > id)
                break;
        }
    } else if (findChild(parent, type, id) != kAtomNone) {
        return kStatusDuplicateAtom;
    }
    Node n;
    n.type = type;
    n.id = id;
    n.parent = parent;
    n.data.assign(data.begin(), data.end());
    AtomRef ref = AtomRef(m_nodes.size());
    m_nodes.push_back(std::move(n));
    m_nodes[size_t(parent)].children.push_back(ref);
    if (newAtom) *newAtom = ref;
    return noErr;
}

AtomRef AtomContainer::cloneSubtree(const AtomContainer& src, AtomRef srcAtom, AtomRef parent) {
    const Node& s = src.m_nodes[size_t(srcAtom)];
    Node n;
    n.type = s.type;
    n.id = s.id;
    n.parent = parent;
    n.data = s.data;
    AtomRef ref = AtomRef(m_nodes.size());
    m_nodes.push_back(std::move(n));
    m_nodes[size_t(parent)].children.push_back(ref);
    // src may be *this: index the child list afresh each round, since
    // push_back above may have moved the node storage.
    const size_t count = src.m_nodes[size_t(srcAtom)].children.size();
    for (size_t i = 0; i < count; ++i)
        cloneSubtree(src, src.m_nodes[size_t(srcAtom)].children[i], ref);
    return ref;
}

OSStatus AtomContainer::insertChildren(AtomRef parent, const AtomContainer& source,
                                       AtomRef sourceParent) {
    if (!source.isValid(sourceParent)) return kStatusInvalidAtom;
    if (OSStatus err = checkParent(parent)) return err;
    // Copy first when source is this container, so the children being added
    // are never among those being read, and a parent copied into its own
    // subtree cannot recurse forever.
    if (&source == this) {
        AtomContainer snapshot(*this);
        return insertChildren(parent, snapshot, sourceParent);
    }
    const Node& sp = source.m_nodes[size_t(sourceParent)];
    const Node& p = m_nodes[size_t(parent)];
    if (p.children.size() + sp.children.size() > kMaxChildren) return kStatusParamError;
    for (AtomRef c : sp.children) {
        const Node& cn = source.m_nodes[size_t(c)];
        if (findChild(parent, cn.type, cn.id) != kAtomNone) return kStatusDuplicateAtom;
    }
    for (AtomRef c : sp.children) cloneSubtree(source, c, parent);
    return noErr;
}

OSStatus AtomContainer::copyAtom(AtomRef atom, AtomContainer* out) const {
    if (!out || atom == kAtomRoot) return kStatusParamError;
    if (!isValid(atom)) return kStatusInvalidAtom;
    AtomContainer result;
    result.cloneSubtree(*this, atom, kAtomRoot);
    *out = std::move(result);
    return noErr;
}

void AtomContainer::kill(AtomRef atom) {
    Node& n = m_nodes[size_t(atom)];
    n.alive = false;
    n.data.clear();
    n.data.shrink_to_fit();
    std::vector<AtomRef> children;
    children.swap(n.children);
    for (AtomRef c : children) kill(c);
}

OSStatus AtomContainer::removeAtom(AtomRef atom) {
    if (atom == kAtomRoot) return kStatusParamError;
    if (!isValid(atom)) return kStatusInvalidAtom;
    std::vector<AtomRef>& siblings = m_nodes[size_t(m_nodes[size_t(atom)].parent)].children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), atom));
    kill(atom);
    return noErr;
}

OSStatus AtomContainer::removeChildren(AtomRef parent, FourCC type) {
    if (!isValid(parent)) return kStatusInvalidAtom;
    std::vector<AtomRef> keep;
    std::vector<AtomRef> doomed;
    for (AtomRef c : m_nodes[size_t(parent)].children)
        (type == kAtomAnyType || m_nodes[size_t(c)].type == type ? doomed : keep).push_back(c);
    m_nodes[size_t(parent)].children = std::move(keep);
    for (AtomRef c : doomed) kill(c);
    return noErr;
}

AtomRef AtomContainer::findChild(AtomRef parent, FourCC type, AtomID id) const {
    if (!isValid(parent)) return kAtomNone;
    for (AtomRef c : m_nodes[size_t(parent)].children)
        if (m_nodes[size_t(c)].type == type && m_nodes[size_t(c)].id == id) return c;
    return kAtomNone;
}

AtomRef AtomContainer::findChildByIndex(AtomRef parent, FourCC type, int index, AtomID* id) const {
    if (!isValid(parent) || index < 1) return kAtomNone;
    for (AtomRef c : m_nodes[size_t(parent)].children) {
        if (type != kAtomAnyType && m_nodes[size_t(c)].type != type) continue;
        if (--index == 0) {
            if (id) *id = m_nodes[size_t(c)].id;
            return c;
        }
    }
    return kAtomNone;
}

int AtomContainer::countChildren(AtomRef parent, FourCC type) const {
    if (!isValid(parent)) return 0;
    int n = 0;
    for (AtomRef c : m_nodes[size_t(parent)].children)
        if (type == kAtomAnyType || m_nodes[size_t(c)].type == type) ++n;
    return n;
}

OSStatus AtomContainer::atomTypeAndID(AtomRef atom, FourCC* type, AtomID* id) const {
    if (!isValid(atom)) return kStatusInvalidAtom;
    if (type) *type = m_nodes[size_t(atom)].type;
    if (id) *id = m_nodes[size_t(atom)].id;
    return noErr;
}

AtomRef AtomContainer::parentOf(AtomRef atom) const {
    return isValid(atom) ? m_nodes[size_t(atom)].parent : kAtomNone;
}

std::span<const uint8_t> AtomContainer::leafData(AtomRef atom) const {
    if (!isValid(atom)) return {};
    return m_nodes[size_t(atom)].data;
}

OSStatus AtomContainer::setLeafData(AtomRef atom, std::span<const uint8_t> data) {
    if (atom == kAtomRoot) return kStatusParamError;
    if (!isValid(atom)) return kStatusInvalidAtom;
    Node& n = m_nodes[size_t(atom)];
    if (!n.children.empty()) return kStatusNotLeafAtom;
    n.data.assign(data.begin(), data.end());
    return noErr;
}

OSStatus AtomContainer::copyLeafData(AtomRef atom, std::span<uint8_t> out, bool exactSize,
                                     size_t* actualSize) const {
    if (!isValid(atom)) return kStatusInvalidAtom;
    const Node& n = m_nodes[size_t(atom)];
    if (!n.children.empty()) return kStatusNotLeafAtom;
    if (exactSize ? n.data.size() != out.size() : n.data.size() > out.size())
        return kStatusParamError;
    if (!n.data.empty()) std::memcpy(out.data(), n.data.data(), n.data.size());
    if (actualSize) *actualSize = n.data.size();
    return noErr;
}

namespace {

template <size_t N>
OSStatus readExact(const AtomContainer& c, AtomRef parent, FourCC type, AtomID id,
                   uint8_t (&buf)[N]) {
    AtomRef a = c.findChild(parent, type, id);
    if (a == kAtomNone) return kStatusNotFound;
    return c.copyLeafData(a, buf, true);
}

}  // namespace

OSStatus AtomContainer::readU16(AtomRef parent, FourCC type, AtomID id, uint16_t* out) const {
    uint8_t b[2];
    if (OSStatus err = readExact(*this, parent, type, id, b)) return err;
    *out = getBE16(b, 0);
    return noErr;
}

OSStatus AtomContainer::readI16(AtomRef parent, FourCC type, AtomID id, int16_t* out) const {
    uint16_t v;
    if (OSStatus err = readU16(parent, type, id, &v)) return err;
    *out = int16_t(v);
    return noErr;
}

OSStatus AtomContainer::readU32(AtomRef parent, FourCC type, AtomID id, uint32_t* out) const {
    uint8_t b[4];
    if (OSStatus err = readExact(*this, parent, type, id, b)) return err;
    *out = getBE32(b, 0);
    return noErr;
}

OSStatus AtomContainer::readI32(AtomRef parent, FourCC type, AtomID id, int32_t* out) const {
    uint32_t v;
    if (OSStatus err = readU32(parent, type, id, &v)) return err;
    *out = int32_t(v);
    return noErr;
}

OSStatus AtomContainer::writeData(AtomRef parent, FourCC type, AtomID id,
                                  std::span<const uint8_t> data) {
    if (id == kAtomUniqueID) return kStatusParamError;
    AtomRef a = findChild(parent, type, id);
    if (a != kAtomNone) return setLeafData(a, data);
    return insertChild(parent, type, id, data);
}

OSStatus AtomContainer::writeU16(AtomRef parent, FourCC type, AtomID id, uint16_t v) {
    const uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
    return writeData(parent, type, id, b);
}

OSStatus AtomContainer::writeI16(AtomRef parent, FourCC type, AtomID id, int16_t v) {
    return writeU16(parent, type, id, uint16_t(v));
}

OSStatus AtomContainer::writeU32(AtomRef parent, FourCC type, AtomID id, uint32_t v) {
    const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    return writeData(parent, type, id, b);
}

OSStatus AtomContainer::writeI32(AtomRef parent, FourCC type, AtomID id, int32_t v) {
    return writeU32(parent, type, id, uint32_t(v));
}

OSStatus AtomContainer::findOrInsert(AtomRef parent, FourCC type, AtomID id, AtomRef* atom) {
    if (!atom) return kStatusParamError;
    AtomRef a = findChild(parent, type, id);
    if (a != kAtomNone) {
        *atom = a;
        return noErr;
    }
    return insertChild(parent, type, id, {}, atom);
}

size_t AtomContainer::atomSize(AtomRef atom) const {
    const Node& n = m_nodes[size_t(atom)];
    size_t size = kAtomHeaderSize + n.data.size();
    for (AtomRef c : n.children) size += atomSize(c);
    return size;
}

size_t AtomContainer::flattenedSize() const {
    return kAtomContainerHeaderSize + atomSize(kAtomRoot);
}

void AtomContainer::flattenAtom(AtomRef atom, std::vector<uint8_t>& out) const {
    const Node& n = m_nodes[size_t(atom)];
    putBE32(out, uint32_t(atomSize(atom)));
    putBE32(out, n.type);
    putBE32(out, uint32_t(n.id));
    putBE16(out, 0);
    putBE16(out, uint16_t(n.children.size()));
    putBE32(out, 0);
    out.insert(out.end(), n.data.begin(), n.data.end());
    for (AtomRef c : n.children) flattenAtom(c, out);
}

std::vector<uint8_t> AtomContainer::flatten() const {
    std::vector<uint8_t> out;
    out.reserve(flattenedSize());
    out.resize(kAtomContainerHeaderSize, 0);
    flattenAtom(kAtomRoot, out);
    return out;
}

// Builds the tree straight from the input. Every size and count comes from
// outside, so each is checked against the span that holds it before use.
class AtomContainer::Loader {
  public:
    Loader(std::span<const uint8_t> bytes, AtomContainer& result)
        : m_bytes(bytes), m_result(result) {}

    // Parses count atoms that must fill [begin, end) exactly.
    bool parseChildren(size_t begin, size_t end, unsigned count, int depth, AtomRef parent) {
        size_t at = begin;
        for (unsigned i = 0; i < count; ++i) {
            if (end - at < kAtomHeaderSize) return false;
            AtomHeader h = readHeader(m_bytes, at);
            if (h.size < kAtomHeaderSize || h.size > end - at || h.type == kAtomAnyType ||
                !h.reservedZero)
                return false;
            Node n;
            n.type = h.type;
            n.id = h.id;
            n.parent = parent;
            if (h.childCount == 0) {
                auto d = m_bytes.subspan(at + kAtomHeaderSize, h.size - kAtomHeaderSize);
                n.data.assign(d.begin(), d.end());
            }
            AtomRef ref = AtomRef(m_result.m_nodes.size());
            m_result.m_nodes.push_back(std::move(n));
            m_result.m_nodes[size_t(parent)].children.push_back(ref);
            if (h.childCount > 0) {
                if (depth >= kAtomMaxDepth) return false;
                if (!parseChildren(at + kAtomHeaderSize, at + h.size, h.childCount, depth + 1, ref))
                    return false;
            }
            at += h.size;
        }
        return at == end;
    }

    // A type and ID used twice under one parent would make finds ambiguous
    // and could never have been built through insertChild. Sorting keeps this
    // cheap for parents with thousands of children.
    bool uniqueIDs() const {
        std::vector<std::pair<FourCC, AtomID>> keys;
        for (const Node& n : m_result.m_nodes) {
            if (n.children.size() < 2) continue;
            keys.clear();
            for (AtomRef c : n.children)
                keys.emplace_back(m_result.m_nodes[size_t(c)].type, m_result.m_nodes[size_t(c)].id);
            std::sort(keys.begin(), keys.end());
            if (std::adjacent_find(keys.begin(), keys.end()) != keys.end()) return false;
        }
        return true;
    }

  private:
    std::span<const uint8_t> m_bytes;
    AtomContainer& m_result;
};

OSStatus AtomContainer::load(std::span<const uint8_t> bytes, AtomContainer* out) {
    if (!out) return kStatusParamError;
    if (bytes.size() < kAtomContainerHeaderSize || !zeroContainerHeader(bytes))
        return kStatusInvalidAtomContainer;
    AtomContainer result;
    {
        const size_t rootAt = kAtomContainerHeaderSize;
        if (bytes.size() - rootAt < kAtomHeaderSize) return kStatusInvalidAtomContainer;
        AtomHeader root = readHeader(bytes, rootAt);
        if (root.type != kRootType || root.id != kRootID || !root.reservedZero ||
            root.size != bytes.size() - rootAt)
            return kStatusInvalidAtomContainer;
        Loader loader(bytes, result);
        // The root holds atoms, never leaf data.
        bool ok = root.childCount > 0 ? loader.parseChildren(rootAt + kAtomHeaderSize, bytes.size(),
                                                             root.childCount, 1, kAtomRoot)
                                      : root.size == kAtomHeaderSize;
        if (!ok || !loader.uniqueIDs()) return kStatusInvalidAtomContainer;
    }
    *out = std::move(result);
    return noErr;
}
