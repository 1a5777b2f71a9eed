# Sources of workspace/, added to the core (no widgets) or the gui library.
