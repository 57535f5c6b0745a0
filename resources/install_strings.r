# Texts of the card drive chooser. Item 3 is not shown anywhere.

resource STR# 134 "Card drives" {
    strings {
        "This drive may not contain a Memory Stick.  Are you sure you want to select this drive?"
        "/PALM/PROGRAMS/TAVELLE"
        ""
        "No Memory Stick drives found."
        "No Removable Media drives found."
    }
}
