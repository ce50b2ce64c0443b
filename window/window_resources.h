// The window's pictures (icons, logos) are compiled into the static widget
// library; a static library's resources are only registered when something
// asks for them, so every user of the pictures calls this first.
#pragma once

namespace tavren {

// Registers the pictures under ":/resources/"; later calls do nothing.
void InitWindowResources();

}  // namespace tavren
