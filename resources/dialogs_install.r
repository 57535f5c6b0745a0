# Dialogs of the destinations: the output name prompt, the card drive
# chooser in its two modes, the HotSync user chooser, and their alerts and
# texts. Rectangles: top left bottom right, in pixels.

# --- The name of a single output ------------------------------------------------

resource DLOG 158 "Output name" {
    dialog { bounds 0 0 104 360  kind 5  visible 0  items 158  title "Name of Movie" }
}
resource DITL 158 "Output name" {
    ditl {
        button 68 270 90 346 "OK"                 # 1
        button 68 184 90 260 "Cancel"             # 2
        edit 22 72 44 346 ""                      # 3
        disabled static 25 14 43 68 "Name:"       # 4
    }
}

# --- Card drive chooser ---------------------------------------------------------------

resource DLOG 157 "Removable drive" {
    dialog { bounds 0 0 104 320  kind 5  visible 0  items 157  title "Choose Removable Drive" }
}
resource DITL 157 "Removable drive" {
    ditl {
        button 68 230 90 306 "OK"                 # 1
        button 68 144 90 220 "Cancel"             # 2
        control 22 14 44 306 157                  # 3 drive popup
    }
}
resource CNTL 157 "Drive popup" {
    control { bounds 0 0 22 292  value 0  max 60  min 157  proc 1008  title "Drive:" }
}

resource DLOG 141 "Memory Stick drive" {
    dialog { bounds 0 0 104 320  kind 5  visible 0  items 141  title "Choose Memory Stick Drive" }
}
resource DITL 141 "Memory Stick drive" {
    ditl {
        button 68 230 90 306 "OK"                 # 1
        button 68 144 90 220 "Cancel"             # 2
        control 22 14 44 306 141                  # 3 drive popup
    }
}
resource CNTL 141 "Memory Stick popup" {
    control { bounds 0 0 22 292  value 0  max 100  min 141  proc 1008  title "Memory Stick:" }
}

# --- HotSync user chooser ---------------------------------------------------------------

resource DLOG 143 "Palm user" {
    dialog { bounds 0 0 136 340  kind 5  visible 0  items 143  title "Choose Palm User" }
}
resource DITL 143 "Palm user" {
    ditl {
        button 100 250 122 326 "OK"               # 1
        button 100 164 122 240 "Cancel"           # 2
        control 20 14 42 326 143                  # 3 user popup
        control 56 14 78 326 161                  # 4 destination popup
    }
}
resource CNTL 143 "Palm user popup" {
    control { bounds 0 0 22 312  value 0  max 90  min 143  proc 1008  title "Palm User:" }
}
resource CNTL 161 "Install destination popup" {
    control { bounds 0 0 22 312  value 1  max 90  min 161  proc 1008  title "Destination:" }
}
resource MENU 161 "Install destination" {
    menu { id 161  title "Destination"  items { "Handheld" } }
}

# --- Alerts ------------------------------------------------------------------------------------

# A question with OK (1) and Cancel (2); the text is parameter text ^0.
resource ALRT 130 "Confirm" {
    alert { bounds 0 0 132 380  items 130 }
}
resource DITL 130 "Confirm" {
    ditl {
        button 98 290 120 366 "OK"                # 1
        button 98 204 120 280 "Cancel"            # 2
        disabled static 14 62 90 366 "^0"         # 3
        disabled icon 14 14 46 46 2               # 4 caution
    }
}

# A message with one OK button (1); the text is parameter text ^0.
resource ALRT 134 "Message" {
    alert { bounds 0 0 132 380  items 134 }
}
resource DITL 134 "Message" {
    ditl {
        button 98 290 120 366 "OK"                # 1
        disabled static 14 62 90 366 "^0"         # 2
        disabled icon 14 14 46 46 0               # 3 stop
    }
}

# Card drive texts.
resource STR# 134 "Card drives" {
    strings {
        "This drive may not contain a Memory Stick.  Are you sure you want to select this drive?"
        "\\PALM\\PROGRAMS\\TAVELLE"
        "memstick.ind"
        "No Memory Stick drives found."
        "No Removable Media drives found."
    }
}
