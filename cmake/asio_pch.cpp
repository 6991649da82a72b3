// Compiles the server programs' shared precompiled header (see common/CMakeLists.txt).
