#pragma once

#include <string>
#include <vector>

namespace service {

// A closed route of waypoints (decimal degrees) travelled at a steady speed; the position
// at any time since the start lies on the straight line between two waypoints.
class Route {
public:
    struct Point {
        double latitude;
        double longitude;
    };

    // Parses "lat,lon;lat,lon;..." (at least two points). Throws std::invalid_argument.
    static Route parse(const std::string& text);

    Route(std::vector<Point> points, double degreesPerSecond);

    Point at(double seconds) const;
    void setSpeed(double degreesPerSecond) { speed_ = degreesPerSecond; }

private:
    static double length(const Point& a, const Point& b);

    std::vector<Point> points_;
    double total_ = 0;
    double speed_;
};

}  // namespace service
