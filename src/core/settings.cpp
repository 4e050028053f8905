#include "core/settings.h"

#include <cstring>

Settings settings;
Settings settings_snapshot;
SearchControl search_control;

void copy_field(char* dst, int size, const char* src) {
    if (size <= 0) return;
    if (!src) src = "";
    size_t n = strnlen(src, size_t(size - 1));
    memcpy(dst, src, n);
    dst[n] = 0;
}
