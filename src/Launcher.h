// The main module: the entry point with the search chain, and the dialogue
// held when the runtime is found nowhere.
#pragma once

void ReportMissingRuntime();
