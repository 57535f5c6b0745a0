#include "profiles/preferences.h"

#include <filesystem>

#include "profiles/profile.h"
#include "profiles/profile_names.h"

namespace pk = prefs_atoms;

namespace {

AtomRef findOrMakeRoot(AtomContainer& c) {
    AtomRef root = c.findChild(kAtomRoot, pk::kRoot, 1);
    if (root == kAtomNone && c.insertChild(kAtomRoot, pk::kRoot, kAtomUniqueID, {}, &root))
        return kAtomNone;
    return root;
}

// The CSTM atom whose profile is named name, or kAtomNone.
AtomRef findCustom(const AtomContainer& c, AtomRef root, std::string_view name,
                   AtomContainer* profile) {
    const int n = c.countChildren(root, pk::kCustom);
    for (int i = 1; i <= n; ++i) {
        const AtomRef atom = c.findChildByIndex(root, pk::kCustom, i);
        AtomContainer p;
        if (AtomContainer::load(c.leafData(atom), &p) != noErr) continue;
        std::string pname;
        profileReadName(p, profile_atoms::kName, &pname);
        if (namesEqualIgnoringCase(pname, name)) {
            if (profile) *profile = std::move(p);
            return atom;
        }
    }
    return kAtomNone;
}

}  // namespace

std::optional<AtomContainer> loadPreferences(const PreferenceFile& store,
                                             const ResourceFile& resources, Destination* dest) {
    AtomContainer c;
    if (store.read(&c) != noErr) return std::nullopt;
    const AtomRef root = findOrMakeRoot(c);
    if (root == kAtomNone) return std::nullopt;

    AtomRef stng = c.findChild(root, pk::kSettings, 1);
    if (stng == kAtomNone) {
        std::span<const uint8_t> first;
        if (resources.getIndexed(kResTypeProfile, 1, &first) == noErr &&
            c.insertChild(root, pk::kSettings, 1, first, &stng) == noErr) {
            (void)store.write(c);  // first-run seeding is kept at once
        }
    }
    std::optional<AtomContainer> settings;
    if (stng != kAtomNone) {
        AtomContainer s;
        if (AtomContainer::load(c.leafData(stng), &s) == noErr) settings = std::move(s);
    }

    if (dest) {
        dest->kind = kDestinationSourceFolder;
        dest->folder.clear();
        const AtomRef xloc = c.findChild(root, pk::kLocation, 1);
        uint16_t kind;
        if (xloc != kAtomNone && c.readU16(xloc, pk::kKind, 1, &kind) == noErr) dest->kind = kind;
        const AtomRef alis = c.findChild(xloc, pk::kAlias, 1);
        if (alis != kAtomNone) {
            auto d = c.leafData(alis);
            std::string path(d.begin(), d.end());
            std::error_code ec;
            // A folder that has gone away no longer resolves.
            if (!path.empty() && std::filesystem::is_directory(path, ec)) dest->folder = path;
        }
    }
    return settings;
}

OSStatus savePreferences(const PreferenceFile& store, const AtomContainer& current,
                         const Destination& dest) {
    AtomContainer c;
    const OSStatus err = store.read(&c);
    // Bytes that are not a container hold nothing to keep; a store that
    // cannot be read at all is not overwritten blind.
    if (err == kStatusInvalidAtomContainer)
        c = AtomContainer();
    else if (err)
        return err;
    const AtomRef root = findOrMakeRoot(c);
    if (root == kAtomNone) return noErr;

    if (AtomRef old = c.findChild(root, pk::kSettings, 1); old != kAtomNone) c.removeAtom(old);
    if (OSStatus e = c.insertChild(root, pk::kSettings, 1, current.flatten())) return e;
    if (AtomRef old = c.findChild(root, pk::kLocation, 1); old != kAtomNone) c.removeAtom(old);
    AtomRef xloc;
    if (OSStatus e = c.insertChild(root, pk::kLocation, 1, {}, &xloc)) return e;
    if (OSStatus e = c.writeU16(xloc, pk::kKind, 1, dest.kind)) return e;
    if (!dest.folder.empty()) {
        const std::span<const uint8_t> path(reinterpret_cast<const uint8_t*>(dest.folder.data()),
                                            dest.folder.size());
        if (OSStatus e = c.insertChild(xloc, pk::kAlias, 1, path)) return e;
    }
    return store.write(c);
}

OSStatus customProfiles(const PreferenceFile& store, std::vector<AtomContainer>* out) {
    if (!out) return kStatusParamError;
    out->clear();
    AtomContainer c;
    if (OSStatus err = store.read(&c)) return err;
    const AtomRef root = c.findChild(kAtomRoot, pk::kRoot, 1);
    if (root == kAtomNone) return kStatusNotFound;
    const int n = c.countChildren(root, pk::kCustom);
    for (int i = 1; i <= n; ++i) {
        AtomContainer p;
        if (AtomContainer::load(c.leafData(c.findChildByIndex(root, pk::kCustom, i)), &p) == noErr)
            out->push_back(std::move(p));
    }
    return noErr;
}

OSStatus addCustomProfile(const PreferenceFile& store, const AtomContainer* profile) {
    if (!profile) return kStatusParamError;
    AtomContainer c;
    if (OSStatus err = store.read(&c)) return err;
    const AtomRef root = c.findChild(kAtomRoot, pk::kRoot, 1);
    if (root == kAtomNone) return kStatusNotFound;
    if (OSStatus e = c.insertChild(root, pk::kCustom, kAtomUniqueID, profile->flatten())) return e;
    return store.write(c);
}

OSStatus deleteCustomProfile(const PreferenceFile& store, std::string_view name) {
    AtomContainer c;
    if (OSStatus err = store.read(&c)) return err;
    const AtomRef root = c.findChild(kAtomRoot, pk::kRoot, 1);
    if (root == kAtomNone) return kStatusNotFound;
    const AtomRef atom = findCustom(c, root, name, nullptr);
    if (atom == kAtomNone) return kStatusNotFound;
    c.removeAtom(atom);
    return store.write(c);
}

OSStatus renameCustomProfile(const PreferenceFile& store, std::string_view oldName,
                             std::string_view newName) {
    AtomContainer c;
    if (OSStatus err = store.read(&c)) return err;
    const AtomRef root = c.findChild(kAtomRoot, pk::kRoot, 1);
    if (root == kAtomNone) return kStatusNotFound;
    AtomContainer profile;
    const AtomRef atom = findCustom(c, root, oldName, &profile);
    if (atom == kAtomNone) return kStatusNotFound;
    if (OSStatus e = setProfileName(&profile, cutName(newName))) return e;
    c.removeAtom(atom);
    if (OSStatus e = c.insertChild(root, pk::kCustom, kAtomUniqueID, profile.flatten())) return e;
    return store.write(c);
}
