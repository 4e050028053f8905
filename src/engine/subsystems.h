// Start-up and release of the subsystems that sit beside the board layer: evaluation data,
// tablebases. Also registers the option and command hooks they serve.
#pragma once

// Tables built once with the board tables (KPK table).
void init_tables_of_subsystems();
// Evaluation parameters, network, tablebases from the configured path.
void init_subsystems();
void release_subsystems();
