// A point with double coordinates: the overlay's shape points and the vector wrapper's vertices.
#pragma once

struct TPointD {
    double x = 0, y = 0;
    bool operator==(const TPointD&) const = default;
};
