#include "color/TarnwellFloatBitmap.h"

#include <new>

static_assert(sizeof(TarnwellFloatBitmap) % alignof(float) == 0, "the floats follow the record");

TarnwellFloatBitmap::Ptr TarnwellFloatBitmap::allocate(uint64_t columns, uint64_t rows, int components,
                                                       int reservedPerPixel, int32_t space,
                                                       int32_t alphaFlags) {
    uint64_t floats = 0, bytes = 0;
    if (components < 1 || components > reservedPerPixel || components > 16 ||
        __builtin_mul_overflow(columns, rows, &floats) ||
        __builtin_mul_overflow(floats, uint64_t(reservedPerPixel), &floats) ||
        __builtin_mul_overflow(floats, sizeof(float), &bytes) ||
        __builtin_add_overflow(bytes, sizeof(TarnwellFloatBitmap), &bytes) || bytes > SIZE_MAX)
        return nullptr;
    void* block = std::calloc(1, size_t(bytes));
    if (!block) return nullptr;
    auto* table = new (block) TarnwellFloatBitmap{};
    table->planes[0] = reinterpret_cast<float*>(table + 1);
    table->rows = rows;
    table->columns = columns;
    table->space = space;
    table->alphaFlags = alphaFlags;
    table->setComponents(components);
    return Ptr(table);
}

void TarnwellFloatBitmap::setComponents(int components) {
    float* first = planes[0];
    for (int i = 0; i < 16; ++i)
        planes[i] = i < components ? first + i : nullptr;
    pixelStep = components;
    rowStep = components * int64_t(columns);
}
