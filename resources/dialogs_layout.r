# The layout editor: the size popups and its own texts.

resource STR# 170 "Layout sizes" {
    strings { "160 x 160" "240 x 240" "320 x 320" "320 x 480" "480 x 320" }
}

resource STR# 516 "Movie sizes" {
    strings {
        "Default" "-" "80 x 60" "120 x 92" "160 x 120" "240 x 180" "320 x 240"
        "440 x 280" "480 x 320" "-" "Full 160 x 160" "Full 320 x 320"
    }
}

resource STR# 171 "Layout editor" {
    strings { "Image Files" "All Files" "Select Background Color" }
}
