#pragma once

// The skin being composed: background picture, skin palette, the 31 item
// slots and the database texts, with the rules for placing and moving items.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "skinpacker/bitmap_import.h"
#include "skinpacker/report.h"
#include "skinpacker/slots.h"

namespace skin {

inline constexpr size_t kConvertedBufferSize = 308110;
inline constexpr int8_t kNoColour = -1;

struct Slot {
    int32_t x = -1;  // top-left corner in the picture; -1 when not placed
    int32_t y = -1;
    std::array<int8_t, 3> colours{kNoColour, kNoColour, kNoColour};  // off, on, maximum

    bool placed() const { return x >= 0 && y >= 0; }
};

enum class ClickOutcome { Ignored, Overlap, Placed, Moved, PickedUp };

struct ClickResult {
    ClickOutcome outcome = ClickOutcome::Ignored;
    int slot = 0;
};

// Texts are held as the handheld's bytes (see handheld_text.h).
struct DatabaseTexts {
    std::string title;    // at most 32 bytes
    std::string author;   // at most 32 bytes
    std::string version;  // at most 6 digits
};

class Project {
  public:
    Project();
    ~Project();
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;

    // Reserves the two fixed picture buffers; reports and returns false when
    // memory runs out. Nothing else works before this succeeded.
    bool reserveBuffers(Reporter& reporter);

    // Reads, checks and converts a background bitmap; the project is
    // unchanged unless it returns true.
    bool importPicture(const std::string& path, Reporter& reporter);

    // Pressing an item button: selects the slot, or clears the selection when
    // it was already selected. Disabled buttons do nothing.
    void selectItem(int slot);

    // A click at window coordinates (x, y). Outcome Placed asks the caller for
    // the slot's colours (setColours); Moved kept them.
    ClickResult click(int x, int y, Reporter& reporter);

    void setColours(int slot, std::array<int8_t, 3> colours);
    void setTexts(DatabaseTexts texts) { m_texts = std::move(texts); }

    bool save(const std::string& path, Reporter& reporter) const;
    bool load(const std::string& path, Reporter& reporter);

    bool pictureLoaded() const { return m_pictureLoaded; }
    int imageColours() const { return m_picture.colours; }
    const ConvertedPicture& picture() const { return m_picture; }
    // Skin palette index of the pixel at (x, y), top row 0.
    uint8_t pixel(int x, int y) const {
        return static_cast<uint8_t>(m_picture.index(x, y) + kFirstImageEntry);
    }
    const std::array<Rgb, 256>& palette() const { return m_palette; }
    const Slot& slot(int i) const { return m_slots[static_cast<size_t>(i)]; }
    int placedItems() const { return m_placedItems; }
    int selected() const { return m_selected; }
    bool moving() const { return m_moving; }
    bool buttonEnabled(int slot) const { return m_enabled[static_cast<size_t>(slot)]; }
    std::string_view statusText() const;
    const DatabaseTexts& texts() const { return m_texts; }

    // Where the working copy of the converted picture lives; the current
    // directory unless a caller says otherwise.
    void setTempPath(std::string path) { m_tempPath = std::move(path); }
    const std::string& tempPath() const { return m_tempPath; }
    void removeTempFile();

    // The project file image from the given converted picture file and the
    // rest of the project's state.
    std::vector<uint8_t> encode(std::span<const uint8_t> convertedFile) const;

  private:
    void adoptPicture(const ConvertedPicture& picture);
    void setGroupEnabled(int slot, bool enabled);
    void dropPickedUp();

    std::unique_ptr<uint8_t[]> m_source;  // the bitmap file while it is read
    ConvertedPicture m_picture;           // its file vector is reserved at start and reused
    bool m_pictureLoaded = false;
    std::array<Rgb, 256> m_palette{};
    std::array<Slot, kSlotCount> m_slots{};
    std::array<bool, kSlotCount> m_enabled{};
    int m_placedItems = 0;
    DatabaseTexts m_texts;
    int m_selected = 0;
    bool m_moving = false;
    std::string m_tempPath = "themedplayer0tempfile.$$$";
    bool m_wroteTemp = false;
};

// Skin palette for a picture: black, the standard colours, the picture's colours, black.
std::array<Rgb, 256> makeSkinPalette(const ConvertedPicture& picture);

}  // namespace skin
