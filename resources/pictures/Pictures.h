#pragma once

namespace Pictures {

// Makes the pictures available under :/pictures/ (banner.png, logo.png,
// add.png, delete.png, separator.png, lumidor-48/64/128/256.png). Resources
// compiled into a static library register only when called for; call this
// once before loading any of them. Repeated calls do nothing.
void Register();

} // namespace Pictures
