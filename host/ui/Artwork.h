#pragma once
// The program's pictures (splash, login icon) live in the core library's
// resources, which a static library does not register by itself.
namespace Artwork {

// Registers them once; every form that shows one calls it before setupUi.
void load();

} // namespace Artwork
