// Beside Base.h, found from its own folder.
