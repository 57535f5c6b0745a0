# Dialogs of the destinations and their texts.

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
