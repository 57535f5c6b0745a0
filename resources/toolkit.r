# The dialog toolkit's own controls and pictures.

# The disclosure triangle: draws PICT 1000 closed (value 0), 1001 open (1).
resource CNTL 132 "Auto tracking triangle" {
    control { bounds 0 0 12 12  value 0  max 1  proc 66 }
}

resource PICT 1000 "right arrow" { file "pictures/right_arrow.png" }
resource PICT 1001 "down arrow" { file "pictures/down_arrow.png" }

# Separator lines: an etched edge along the top (wider than high) or the
# left side (taller than wide). Each dialog's own CNTL gives the size.
resource CNTL 144 "Separator Line" {
    control { bounds 0 0 2 100  proc 144 }
}
