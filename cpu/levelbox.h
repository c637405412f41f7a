// The small box that asks the person for the computer's strength before a match on
// this machine: よわい, ふつう or つよい. Closing it chooses nothing.
#pragma once

#include "cpu/strategy.h"

#include <optional>

std::optional<Strategy::Level> askLevel();
