#pragma once

// The item buttons' pictures, drawn from the item shapes: up, down
// (selected) and disabled variants of each.

#include <QPixmap>

namespace skin {

enum class ButtonLook { Up, Down, Disabled };

inline constexpr int kItemButtonSize = 40;

QPixmap itemButtonPicture(int slot, ButtonLook look);

}  // namespace skin
