# Sources of update/, added to the core (no widgets) or the gui library.
