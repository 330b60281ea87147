// The captured clipboard payloads and their helpers, shared with the desktop layer's tests.
#include "../platform/desktop/Payloads.cpp"
