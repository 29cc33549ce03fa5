// What the screen and graphics start/end need of the graphic records.
#pragma once

namespace velox::graphic {

// Clears the graphic table, its counts and the creation settings (graphics start).
void StartGraphicTable();
// Deletes every live graphic in slot order; logFlag logs each deletion.
void DeleteAllGraphicsInner(int logFlag);
// Deletes everything and frees the table (graphics end).
void EndGraphicTable();

} // namespace velox::graphic
