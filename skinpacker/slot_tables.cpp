#include "skinpacker/slots.h"

namespace skin {

namespace {
constexpr SlotInfo button(std::string_view label, int slot) {
    return {36, 30, ColourDialog::Button, slot, slot, label};
}
constexpr SlotInfo two(int w, int h, int first, std::string_view label) {
    return {w, h, ColourDialog::TwoColours, first, first + 3, label};
}
constexpr SlotInfo three(int w, int h, std::string_view label) {
    return {w, h, ColourDialog::ThreeColours, 17, 20, label};
}
constexpr SlotInfo text(int w, int h, int first, int last, std::string_view label) {
    return {w, h, ColourDialog::TextColour, first, last, label};
}
}  // namespace

const std::array<SlotInfo, kSlotCount> kSlots = {{
    {0, 0, ColourDialog::None, 0, 0, ""},
    button("再生ボタンを配置します", 1),
    button("停止ボタンを配置します", 2),
    button("曲頭バックボタンを配置します", 3),
    button("次曲送りボタンを配置します", 4),
    button("巻き戻しボタンを配置します", 5),
    button("早送りボタンを配置します", 6),
    button("音量大ボタンを配置します", 7),
    button("音量小ボタンを配置します", 8),
    two(64, 6, 9, "ボリュームレベル(横バー)を配置します"),
    two(6, 64, 9, "ボリュームレベル(縦バー)を配置します"),
    two(64, 6, 9, "ボリュームレベル(横ドット)を配置します"),
    two(6, 64, 9, "ボリュームレベル(縦ドット)を配置します"),
    two(128, 160, 13, "グライコ(横バー)を配置します"),
    two(160, 128, 13, "グライコ(縦バー)を配置します"),
    two(128, 160, 13, "グライコ(横ドット)を配置します"),
    two(160, 128, 13, "グライコ(縦ドット)を配置します"),
    three(128, 40, "レベルメータ(横バー)を配置します"),
    three(40, 128, "レベルメータ(縦バー)を配置します"),
    three(128, 40, "レベルメータ(横ドット)を配置します"),
    three(40, 128, "レベルメータ(縦ドット)を配置します"),
    text(150, 36, 21, 23, "時間表示(１)を配置します"),
    text(150, 36, 21, 23, "時間表示(２)を配置します"),
    text(150, 36, 21, 23, "時間表示(３)を配置します"),
    text(60, 36, 24, 26, "トラック表示(１)を配置します"),
    text(60, 36, 24, 26, "トラック表示(２)を配置します"),
    text(60, 36, 24, 26, "トラック表示(３)を配置します"),
    text(240, 28, 27, 29, "タイトル表示(大)を配置します"),
    text(240, 22, 27, 29, "タイトル表示(中)を配置します"),
    text(240, 14, 27, 29, "タイトル表示(小)を配置します"),
    button("リプレイボタンを配置します", 30),
}};

const std::array<Rgb, kStandardColours> kStandardPalette = {{
    {0, 0, 0},
    {128, 0, 0},
    {0, 128, 0},
    {128, 128, 0},
    {0, 0, 128},
    {128, 0, 128},
    {0, 128, 128},
    {192, 192, 192},
    {128, 128, 128},
    {255, 0, 0},
    {0, 255, 0},
    {255, 255, 0},
    {0, 0, 255},
    {255, 0, 255},
    {0, 255, 255},
    {255, 255, 255},
}};

}  // namespace skin
