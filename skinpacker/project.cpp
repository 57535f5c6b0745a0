#include "skinpacker/project.h"

#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "skinpacker/messages.h"
#include "skinpacker/project_file.h"
#include "skinpacker/temp_file.h"

namespace skin {

namespace {

bool overlaps(const Slot& a, const SlotInfo& ai, const Slot& b, const SlotInfo& bi) {
    // Touching edges count: the player needs a gap between items.
    return a.x <= b.x + bi.width && b.x <= a.x + ai.width && a.y <= b.y + bi.height &&
           b.y <= a.y + ai.height;
}

int floorEven(int v) {
    return v & ~1;
}

std::vector<uint8_t> tempFileImage(std::span<const uint8_t> converted) {
    std::vector<uint8_t> data(converted.begin(), converted.end());
    data.resize(kConvertedFileSizeField, 0);
    return data;
}

}  // namespace

std::array<Rgb, 256> makeSkinPalette(const ConvertedPicture& picture) {
    std::array<Rgb, 256> p{};
    for (int i = 0; i < kStandardColours; ++i)
        p[static_cast<size_t>(i) + 1] = kStandardPalette[static_cast<size_t>(i)];
    for (int i = 0; i < picture.colours; ++i)
        p[static_cast<size_t>(kFirstImageEntry + i)] = picture.paletteEntry(i);
    return p;
}

Project::Project() {
    m_enabled.fill(true);
}

Project::~Project() {
    removeTempFile();
}

bool Project::reserveBuffers(Reporter& reporter) {
    m_source.reset(new (std::nothrow) uint8_t[kSourceBufferSize]);
    if (!m_source) {
        reporter.report(msg::kMemory1, Icon::Exclamation);
        return false;
    }
    try {
        m_picture.file.reserve(kConvertedBufferSize);
    } catch (const std::bad_alloc&) {
        reporter.report(msg::kMemory2, Icon::Exclamation);
        return false;
    }
    return true;
}

void Project::removeTempFile() {
    if (m_wroteTemp) ::unlink(m_tempPath.c_str());
    m_wroteTemp = false;
}

void Project::adoptPicture(const ConvertedPicture& picture) {
    m_picture.file.assign(picture.file.begin(), picture.file.end());
    m_picture.colours = picture.colours;
    m_palette = makeSkinPalette(m_picture);
    m_pictureLoaded = true;
}

bool Project::importPicture(const std::string& path, Reporter& reporter) {
    if (!m_source) return false;
    ConvertedPicture converted;
    if (!importBitmap(path, reporter, std::span(m_source.get(), kSourceBufferSize), converted))
        return false;
    if (!writeFreshFile(m_tempPath, tempFileImage(converted.file))) {
        reporter.report(msg::kTempWrite, Icon::Exclamation);
        return false;
    }
    m_wroteTemp = true;
    adoptPicture(converted);
    return true;
}

std::string_view Project::statusText() const {
    return m_selected ? kSlots[static_cast<size_t>(m_selected)].label : std::string_view();
}

void Project::setGroupEnabled(int slot, bool enabled) {
    const SlotInfo& info = kSlots[static_cast<size_t>(slot)];
    for (int s = info.groupFirst; s <= info.groupLast; ++s)
        m_enabled[static_cast<size_t>(s)] = enabled;
}

void Project::dropPickedUp() {
    // An item picked up and then abandoned is no longer placed, so its group
    // must be offered again or it could never be placed until a reload.
    if (m_moving && m_selected) setGroupEnabled(m_selected, true);
    m_moving = false;
}

void Project::selectItem(int slot) {
    if (slot < 1 || slot >= kSlotCount) return;
    if (slot == m_selected) {
        dropPickedUp();
        m_selected = 0;
        return;
    }
    if (!m_enabled[static_cast<size_t>(slot)]) return;
    dropPickedUp();
    m_selected = slot;
}

ClickResult Project::click(int x, int y, Reporter& reporter) {
    if (m_selected == 0) {
        const int px = x - kPictureOrigin, py = y - kPictureOrigin;
        for (int s = 1; s < kSlotCount; ++s) {
            Slot& slot = m_slots[static_cast<size_t>(s)];
            const SlotInfo& info = kSlots[static_cast<size_t>(s)];
            if (!slot.placed() || px < slot.x || px >= slot.x + info.width || py < slot.y ||
                py >= slot.y + info.height)
                continue;
            m_selected = s;
            slot.x = slot.y = -1;
            --m_placedItems;
            m_moving = true;
            return {ClickOutcome::PickedUp, s};
        }
        return {};
    }
    if (!m_pictureLoaded) return {};

    const int s = m_selected;
    const SlotInfo& info = kSlots[static_cast<size_t>(s)];
    Slot candidate = m_slots[static_cast<size_t>(s)];
    candidate.x = floorEven(x) - kPictureOrigin - info.width / 2;
    candidate.y = floorEven(y) - kPictureOrigin - info.height / 2;
    if (candidate.x < 0 || candidate.y < 0 || candidate.x + info.width > kPictureSide ||
        candidate.y + info.height > kPictureSide)
        return {};
    for (int o = 1; o < kSlotCount; ++o) {
        const Slot& other = m_slots[static_cast<size_t>(o)];
        if (o == s || !other.placed()) continue;
        if (overlaps(candidate, info, other, kSlots[static_cast<size_t>(o)])) {
            reporter.report(msg::kOverlap, Icon::Exclamation);
            return {ClickOutcome::Overlap, s};
        }
    }
    m_slots[static_cast<size_t>(s)] = candidate;
    const bool moved = m_moving;
    if (!moved) setGroupEnabled(s, false);
    ++m_placedItems;
    m_selected = 0;
    m_moving = false;
    return {moved ? ClickOutcome::Moved : ClickOutcome::Placed, s};
}

void Project::setColours(int slot, std::array<int8_t, 3> colours) {
    if (slot < 1 || slot >= kSlotCount) return;
    m_slots[static_cast<size_t>(slot)].colours = colours;
}

std::vector<uint8_t> Project::encode(std::span<const uint8_t> convertedFile) const {
    return encodeProjectFile(convertedFile, m_picture.colours, m_placedItems, m_texts, m_slots);
}

bool Project::save(const std::string& path, Reporter& reporter) const {
    if (!m_pictureLoaded) {
        reporter.report(msg::kSaveNeedsPicture, Icon::Exclamation);
        return false;
    }
    // The working copy is checked before the old project is deleted, so a
    // failed save never costs the user the file they had.
    std::vector<uint8_t> temp;
    if (!readPlainFile(m_tempPath, temp, kConvertedFileSizeField) || temp.size() < kConvertedSize) {
        reporter.report(msg::kBmpCannotOpen, Icon::Information);
        return false;
    }
    if (!writeFreshFile(path, encode(std::span(temp).first(kConvertedSize)))) {
        reporter.report(msg::kTpdCannotMake, Icon::Exclamation);
        return false;
    }
    return true;
}

bool Project::load(const std::string& path, Reporter& reporter) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        reporter.report(msg::kTpdNotFound, Icon::Exclamation);
        return false;
    }
    std::vector<uint8_t> data;
    ProjectFileContents contents;
    if (!readPlainFile(path, data, kProjectFileSize + 1, true) || data.size() != kProjectFileSize ||
        !decodeProjectFile(data, contents)) {
        reporter.report(msg::kBmpCannotOpen, Icon::Information);
        return false;
    }
    if (!writeFreshFile(m_tempPath, tempFileImage(contents.picture.file))) {
        reporter.report(msg::kTpdCannotMake, Icon::Exclamation);
        return false;
    }
    m_wroteTemp = true;
    adoptPicture(contents.picture);
    m_placedItems = contents.placedItems;
    m_texts = std::move(contents.texts);
    m_slots = contents.slotTable;
    m_enabled.fill(true);
    for (int s = 1; s < kSlotCount; ++s)
        if (m_slots[static_cast<size_t>(s)].placed()) setGroupEnabled(s, false);
    m_selected = 0;
    m_moving = false;
    return true;
}

}  // namespace skin
