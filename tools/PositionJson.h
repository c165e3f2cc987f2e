#pragma once
// A GpsPosition as JSON: the valid fields under their record names, and always
// fixQuality, fixType and selectionType.

#include <nlohmann/json.hpp>

#include "nmea/GpsPosition.h"

nlohmann::json PositionToJson(const GpsPosition& record);
