// Writes a package after the player image.
