# A dialog for the toolkit's tests, with the program's own toolkit controls.
include "../../../resources/toolkit.r"

resource DLOG 900 "Toolkit test" {
    dialog { bounds 0 0 220 320  visible 0  items 900  title "Toolkit" }
}
resource DITL 900 {
    ditl {
        button 186 230 208 306 "OK"                       # 1
        button 186 144 208 220 "Cancel"                   # 2
        control 14 14 36 306 901                          # 3 size popup
        control 48 14 50 306 902                          # 4 horizontal separator
        control 60 160 140 162 903                        # 5 vertical separator
        control 60 14 72 26 132                           # 6 disclosure triangle
        checkbox 60 32 80 150 "Controls"                 # 7
        radio 84 32 102 90 "A"                            # 8
        radio 104 32 122 90 "B"                           # 9
        radio 124 32 142 90 "C"                           # 10
        disabled static 60 180 78 300 "label"             # 11
        user 146 14 176 306                               # 12 tabs
    }
}
resource CNTL 901 { control { bounds 0 0 22 292  max 80  min 901  proc 1008  title "Movie Size:" } }
resource CNTL 902 { control { bounds 0 0 2 292  proc 144 } }
resource CNTL 903 { control { bounds 0 0 80 2  proc 144 } }
resource STR# 900 {
    strings { "Default" "-" "80 x 60" "160 x 120" "Full 160 x 160" "320 x 240" }
}
resource STR# 901 { strings { "Folder:" "Export location:" } }
