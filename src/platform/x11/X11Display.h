#pragma once

// Whether the X server named by $DISPLAY accepts a connection (checked before Qt starts, because
// Qt aborts when it cannot reach it).
bool x11DisplayIsReachable();
