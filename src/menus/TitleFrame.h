// The title scene's frame, run by the main loop once per frame while the scene number is 1.
#pragma once

// Empties the sprite queue, draws the backdrop, runs the menu (unless textures are being loaded),
// steps the fade, and draws the overlay, the borders and the status line.
void TitleFrame();
