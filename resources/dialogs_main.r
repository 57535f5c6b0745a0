# The main window's texts; its dialog and the preset dialogs follow.

resource STR# 128 "Destination texts" {
    strings {
        "Folder:"
        "Export location:"
        "Select a folder for converted movie files:"
        "Are you sure you want to remove the selected file(s)?"
        "Converted files are saved in the same folder as their source files."
        "multiple locations"
        "Converted files are saved in the folder shown."
        "Are you sure you want to remove all the files?"
    }
}

# --- Presets ----------------------------------------------------------------------

resource DLOG 1154 "Save preset" {
    dialog { bounds 0 0 104 380  kind 5  visible 0  items 1154  title "Save Preset" }
}
resource DITL 1154 "Save preset" {
    ditl {
        button 68 290 90 366 "Save"                       # 1
        button 68 204 90 280 "Cancel"                     # 2
        edit 22 124 44 366 ""                             # 3
        disabled static 25 14 43 120 "Save Preset As:"    # 4
    }
}

resource DLOG 1152 "Rename preset" {
    dialog { bounds 0 0 136 400  kind 5  visible 0  items 1152  title "Rename Preset" }
}
resource DITL 1152 "Rename preset" {
    ditl {
        button 100 310 122 386 "Save"                     # 1
        button 100 224 122 300 "Cancel"                   # 2
        edit 54 154 76 386 ""                             # 3
        disabled static 57 14 75 150 "New Preset Name:"   # 4
        disabled static 20 14 38 150 "Current Preset Name:"  # 5
        disabled static 20 154 38 386 ""                  # 6 the current name
    }
}

resource DLOG 1156 "Edit presets" {
    dialog { bounds 0 0 260 360  kind 5  visible 0  items 1156  title "Edit Presets" }
}
resource DITL 1156 "Edit presets" {
    ditl {
        button 224 262 246 346 "Done"                     # 1
        button 36 262 58 346 "Rename…"                    # 2
        button 66 262 88 346 "Delete…"                    # 3
        disabled static 12 14 30 250 "Current Presets"    # 4
        user 36 14 246 250                                # 5 the list of custom presets
    }
}

# --- The conversion run ------------------------------------------------------------

# Cancelling a run: Continue (1) or Cancel Conversions (2); ^0 is the question.
resource ALRT 150 "Cancel conversions?" {
    alert { bounds 0 0 150 400  items 150 }
}
resource DITL 150 "Cancel conversions?" {
    ditl {
        button 116 310 138 386 "Continue"                 # 1
        button 116 164 138 300 "Cancel Conversions"       # 2
        disabled static 14 62 34 386 "Cancel conversions?"  # 3
        disabled static 38 62 108 386 "^0"                # 4
        disabled icon 14 14 46 46 2                       # 5 caution
    }
}

# --- The main window --------------------------------------------------------------
# Tab pages: Files = items 15 to 22, Audio & Video = 23 to 45, Layout = 46
# to 61; the others show on every page. The pages share the area below the
# tabs (rows 150 to 396).

resource DLOG 1135 "main" {
    dialog { bounds 0 0 440 560  kind 4  visible 0  closebox 1  items 1135  title "moviepacker" }
}
resource DITL 1135 "main" {
    ditl {
        button 406 446 428 546 "Convert Files"            # 1 default
        button 406 356 428 436 "Quit"                     # 2 cancel
        button 406 14 428 94 "About…"                     # 3
        disabled static 0 0 0 0 ""                        # 4 (unused)
        disabled static 0 0 0 0 ""                        # 5 (unused)
        disabled static 68 14 86 84 "Encoding:"           # 6
        control 64 88 86 258 1007                         # 7 settings popup
        disabled static 98 14 116 112 "Export location:"  # 8
        control 94 116 116 286 1009                       # 9 destination popup
        control 64 264 86 546 1010                        # 10 device popup
        disabled static 98 296 116 344 "Folder:"          # 11
        disabled static 98 348 116 546 ""                 # 12 destination folder
        user 0 0 56 560                                   # 13 banner
        user 124 14 150 546                               # 14 tabs
        user 158 24 354 536                               # 15 file list
        button 364 24 386 124 "Add Files…"                # 16
        button 364 132 386 262 "Remove Files…"            # 17
        button 364 132 386 262 "Cancel Conversion"        # 18
        button 364 270 386 370 "Remove All"               # 19
        button 364 270 386 370 "Cancel All"               # 20
        disabled static 362 380 378 536 ""                # 21 progress text
        disabled static 378 380 394 536 ""                # 22 progress text
        user 150 14 396 546                               # 23 Audio & Video page
        button 366 24 388 154 "Save As Preset…"           # 24
        button 366 162 388 292 "Edit Presets…"            # 25
        control 162 114 184 266 1026                      # 26 video format
        control 192 114 214 266 1027                      # 27 frames per second
        control 222 114 244 266 1028                      # 28 video data rate
        disabled static 166 24 184 110 "Video:"           # 29
        disabled static 196 24 214 110 "Frame rate:"      # 30
        disabled static 226 24 244 110 "Data rate:"       # 31
        control 162 384 184 536 1032                      # 32 audio format
        control 192 384 214 536 1033                      # 33 channels
        control 222 384 244 536 1034                      # 34 sample rate / bit rate
        control 252 384 274 536 1035                      # 35 compression ratio
        control 282 384 304 536 1036                      # 36 boost
        disabled static 166 290 184 380 "Audio:"          # 37
        disabled static 196 290 214 380 "Channels:"       # 38
        disabled static 226 290 244 380 "Sample rate:"    # 39
        disabled static 256 290 274 380 "Compression:"    # 40
        disabled static 286 290 304 380 "Boost:"          # 41
        disabled static 254 24 348 266 ""                 # 42 video description
        disabled static 312 290 348 536 ""                # 43 audio description
        control 162 277 350 279 1044                      # 44 separator between the columns
        control 356 24 358 536 1045                       # 45 separator above the buttons
        user 150 14 396 546                               # 46 Layout page
        button 162 200 184 398 "Choose Background Image…" # 47
        button 192 200 214 398 "Clear Background Image"   # 48
        user 226 200 246 240                              # 49 background colour swatch
        disabled static 228 248 246 398 "Background color" # 50
        disabled static 162 416 180 546 "Screen size:"    # 51
        disabled static 214 416 232 546 "Movie size:"     # 52
        user 162 24 322 184                               # 53 layout preview
        checkbox 256 200 276 398 "Show movie controls"    # 54
        disabled static 326 24 344 184 "Layout"           # 55
        disabled static 346 24 396 186 "Drag the movie to move it, or a corner to resize it." # 56
        control 162 192 390 194 1057                      # 57 separator
        control 162 406 390 408 1058                      # 58 separator
        control 182 416 204 546 160                       # 59 layout size
        control 234 416 256 546 139                       # 60 movie size
        button 364 200 386 398 "Reset to Default Layout"  # 61
    }
}
resource CNTL 1007 "Settings popup" { control { bounds 0 0 22 170  min 1007  proc 1008 } }
resource CNTL 1009 "Destination popup" { control { bounds 0 0 22 170  min 1009  proc 1008 } }
resource CNTL 1010 "Device popup" { control { bounds 0 0 22 282  min 1010  proc 1008 } }
resource CNTL 1026 "Video format popup" { control { bounds 0 0 22 152  min 1026  proc 1008 } }
resource CNTL 1027 "Frame rate popup" { control { bounds 0 0 22 152  min 1027  proc 1008 } }
resource CNTL 1028 "Video data rate popup" { control { bounds 0 0 22 152  min 1028  proc 1008 } }
resource CNTL 1032 "Audio format popup" { control { bounds 0 0 22 152  min 1032  proc 1008 } }
resource CNTL 1033 "Channels popup" { control { bounds 0 0 22 152  min 1033  proc 1008 } }
resource CNTL 1034 "Sample rate popup" { control { bounds 0 0 22 152  min 1034  proc 1008 } }
resource CNTL 1035 "Compression popup" { control { bounds 0 0 22 152  min 1035  proc 1008 } }
resource CNTL 1036 "Boost popup" { control { bounds 0 0 22 152  min 1036  proc 1008 } }
resource CNTL 1044 "Separator Line" { control { bounds 0 0 188 2  proc 144 } }
resource CNTL 1045 "Separator Line" { control { bounds 0 0 2 512  proc 144 } }
resource CNTL 1057 "Separator Line" { control { bounds 0 0 228 2  proc 144 } }
resource CNTL 1058 "Separator Line" { control { bounds 0 0 228 2  proc 144 } }

# Tab captions.
resource STR# 220 "Tabs" {
    strings { "Files" "Audio & Video" "Layout" }
}
# Video choices: the item number is what the dialog maps to a depth or rate.
resource STR# 515 "Video formats" {
    strings { "no video" "-" "Cinepak Mobile" "16 Grays" }
}
resource STR# 517 "Frames per second" {
    strings {
        "Best" "-" "1" "2" "3" "4" "5" "6" "7" "8" "9" "10" "11" "12" "13" "14" "15" "16" "17"
        "18" "19" "20" "21" "22" "23" "24" "25" "26" "27" "28" "29" "30"
    }
}
resource STR# 518 "Video data rates" {
    strings {
        "160 kbps" "240 kbps" "320 kbps" "400 kbps" "480 kbps" "560 kbps" "640 kbps"
        "720 kbps" "800 kbps" "960 kbps" "1200 kbps" "1600 kbps" "2000 kbps"
    }
}
resource STR# 160 "Video format descriptions" {
    strings {
        "No video: only the sound is converted."
        ""
        "Colour video for handhelds with a colour screen."
        "16 shades of grey: small files for every handheld."
    }
}
# Labels of the Audio & Video page.
resource STR# 130 "Audio labels" {
    strings { "Audio:" "Channels:" "Sample rate:" "Compression:" "Boost:" "Bit rate:" }
}
resource STR# 246 "Labels" {
    strings {
        "Video:" "Frame rate:" "Data rate:" "Background color" "Screen size:" "Movie size:"
        "Layout" "Encoding:"
        "Drag the movie to move it, or a corner to resize it."
    }
}
# Progress of a run: "3", " of ", "7".
resource STR# 129 "Run progress" {
    strings { "Converting" "Converted" " of " }
}

# --- Start-up ---------------------------------------------------------------------

resource DLOG 140 "Splash" {
    dialog { bounds 0 0 150 340  kind 2  visible 0  items 140  title "" }
}
resource DITL 140 "Splash" {
    ditl {
        user 0 0 150 340                                  # 1 the whole box: a click closes it
        disabled static 40 20 62 320 "moviepacker"        # 2
        disabled static 70 20 110 320 "Movies for Palm OS handhelds"  # 3
        disabled static 118 20 136 320 "Version 0.1"      # 4
    }
}

resource DLOG 128 "About" {
    dialog { bounds 0 0 150 360  kind 5  visible 0  items 128  title "About moviepacker" }
}
resource DITL 128 "About" {
    ditl {
        button 114 270 136 346 "OK"                       # 1
        disabled static 16 14 36 346 "moviepacker 0.1"    # 2
        disabled static 42 14 102 346 "Converts movies and sounds into movies for Palm OS handhelds, and sends them to a memory card or to the next HotSync."  # 3
    }
}

resource STR# 135 "Start-up" {
    strings {
        "moviepacker"
        "Could not open the program's resources."
        "Could not start the movie exporter."
        "This application requires the QuickTime Authoring Component.  Please run your QuickTime Updater and install this component."
    }
}

# The banner across the top of the main window: title and subtitle.
resource STR# 1135 "Banner" {
    strings { "moviepacker" "Movies and sounds for Palm OS handhelds" }
}
