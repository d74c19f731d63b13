#pragma once

// The shared operations of the calendar core, in one include.
#include "data/TextFile.h"
#include "rules/StringGrid.h"
#include "rules/YearTables.h"
