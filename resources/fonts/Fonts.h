#pragma once

namespace Fonts {

// Lets the window's "Tahoma" and "Arial" resolve to faces of the same
// metrics, so that texts fit the fixed layout: Wine's Tahoma (fonts-wine
// keeps it outside fontconfig's folders, so it is loaded from there) and
// Liberation Sans. Call once, after the application object exists.
void InstallSubstitutes();

} // namespace Fonts
