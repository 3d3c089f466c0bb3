#include "Route.h"

#include <cmath>
#include <sstream>
#include <stdexcept>

namespace service {

Route Route::parse(const std::string& text) {
    std::vector<Point> points;
    std::stringstream all(text);
    std::string pair;
    while (std::getline(all, pair, ';')) {
        const std::size_t comma = pair.find(',');
        if (comma == std::string::npos) {
            throw std::invalid_argument("not lat,lon: " + pair);
        }
        const double lat = std::stod(pair.substr(0, comma));
        const double lon = std::stod(pair.substr(comma + 1));
        if (!(std::fabs(lat) <= 85) || !(std::fabs(lon) <= 180)) {
            throw std::invalid_argument("outside the map: " + pair);
        }
        points.push_back({lat, lon});
    }
    if (points.size() < 2) {
        throw std::invalid_argument("a route needs two points");
    }
    return Route(points, 0.1);
}

Route::Route(std::vector<Point> points, double degreesPerSecond)
    : points_(std::move(points)), speed_(degreesPerSecond) {
    for (std::size_t i = 0; i < points_.size(); ++i) {
        total_ += length(points_[i], points_[(i + 1) % points_.size()]);
    }
}

double Route::length(const Point& a, const Point& b) {
    return std::hypot(a.latitude - b.latitude, a.longitude - b.longitude);
}

Route::Point Route::at(double seconds) const {
    if (total_ <= 0) {
        return points_.front();
    }
    double left = std::fmod(seconds * speed_, total_);
    for (std::size_t i = 0;; i = (i + 1) % points_.size()) {
        const Point& a = points_[i];
        const Point& b = points_[(i + 1) % points_.size()];
        const double leg = length(a, b);
        if (left <= leg && leg > 0) {
            const double f = left / leg;
            return {a.latitude + f * (b.latitude - a.latitude),
                    a.longitude + f * (b.longitude - a.longitude)};
        }
        left -= leg;
    }
}

}  // namespace service
