# The layout editor's popups, size lists and pictures. Its view and buttons
# are items 46 to 61 of the main window (DLOG 1135, dialogs_main.r).

# Movie (video) size popup, main window item 60; filled from STR# 516.
resource CNTL 139 "Movie size popup" {
    control { bounds 0 0 22 150  value 0  max 0  min 139  proc 1008  title "" }
}
resource STR# 516 "Movie sizes" {
    strings {
        "Default" "-" "80 x 60" "120 x 92" "160 x 120" "240 x 180" "320 x 240" "440 x 280"
        "480 x 320" "-" "Full 160 x 160" "Full 320 x 320"
    }
}

# Layout (screen) size popup, main window item 59; filled from STR# 170.
resource CNTL 160 "Layout size popup" {
    control { bounds 0 0 22 150  value 0  max 0  min 160  proc 1008  title "" }
}
resource STR# 170 "Layout sizes" {
    strings { "160 x 160" "240 x 240" "320 x 320" "320 x 480" "480 x 320" }
}

# Drawn for the movie item when no movie is open.
resource PICT 2003 "movie proxy" { file "pictures/movie_proxy.png" }

# The player's control strips, drawn centred in the strips of the layout view.
resource WIDG 1 "Top Margin" { file "pictures/widg_top.png" }
resource WIDG 2 "Bottom Margin" { file "pictures/widg_bottom.png" }
resource WIDG 3 "Top Narrow Margin" { file "pictures/widg_top_narrow.png" }
resource WIDG 4 "Bottom Narrow Margin" { file "pictures/widg_bottom_narrow.png" }
resource WIDG 5 "Top Narrow Margin CW" { file "pictures/widg_top_narrow_cw.png" }
resource WIDG 6 "Top Narrow Margin CCW" { file "pictures/widg_top_narrow_ccw.png" }
resource WIDG 7 "Bottom Narrow Margin CW" { file "pictures/widg_bottom_narrow_cw.png" }
resource WIDG 8 "Bottom Narrow Margin CCW" { file "pictures/widg_bottom_narrow_ccw.png" }
