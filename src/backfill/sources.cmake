# Sources of backfill/, added to the core (no widgets) or the gui library.
