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

# Control-strip pictures the layout view draws, each centred in its strip
# (drawn by gen_strips.py).
resource WIDG 1 "Top Margin" { file "strips/top_margin.png" }
resource WIDG 2 "Bottom Margin" { file "strips/bottom_margin.png" }
resource WIDG 3 "Top Narrow Margin" { file "strips/top_narrow.png" }
resource WIDG 4 "Bottom Narrow Margin" { file "strips/bottom_narrow.png" }
resource WIDG 5 "Top Narrow Margin CW" { file "strips/top_narrow_cw.png" }
resource WIDG 6 "Top Narrow Margin CCW" { file "strips/top_narrow_ccw.png" }
resource WIDG 7 "Bottom Narrow Margin CW" { file "strips/bottom_narrow_cw.png" }
resource WIDG 8 "Bottom Narrow Margin CCW" { file "strips/bottom_narrow_ccw.png" }

# The movie item's picture while no movie is open.
resource PICT 2003 "movie proxy" { file "strips/movie_proxy.png" }

# The size popups of the main window's Layout page: movie size (item 60,
# filled from STR# 516) and layout size (item 59, from STR# 170).
resource CNTL 139 "Movie size popup" {
    control { bounds 0 0 22 150  value 0  max 0  min 139  proc 1008  title "" }
}
resource CNTL 160 "Layout size popup" {
    control { bounds 0 0 22 150  value 0  max 0  min 160  proc 1008  title "" }
}
