// Process start-up and clean-up around one RunMode.
#pragma once

int engine_main(int argc, char** argv);
