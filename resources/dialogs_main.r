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
