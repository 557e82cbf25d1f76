// IsOnline: the platform's offline query, with the automation override QUILLMEND_ONLINE.
#pragma once

namespace quillmend {

// True when the platform does not report the machine offline. QUILLMEND_ONLINE=0/1 overrides.
// A failing query counts as offline.
bool IsOnline();

}  // namespace quillmend
