# Sources of symbols/, added to the core (no widgets) or the gui library.
