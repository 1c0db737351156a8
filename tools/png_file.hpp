// Encoding a canvas as an 8-bit RGB PNG into one of the renderer's outputs.
#pragma once

#include "engine/canvas.hpp"
#include "tools/output_file.hpp"

namespace walkers::render {

// Writes the whole drawing area, width() x height(), to `output` (without committing it); pixels
// beyond the canvas's stored part are black. Throws OutputError if a write fails.
void writePng(const Canvas& canvas, OutputFile& output);

}  // namespace walkers::render
