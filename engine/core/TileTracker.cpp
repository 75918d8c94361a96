#include "engine/core/TileTracker.h"

TileTracker::TileTracker(const TileTracker& other)
    : location_(other.location_), state_(other.state()), passTrack_(other.passTrack()) {}
