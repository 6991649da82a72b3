// Compiles the tests' shared precompiled header (see ProjectTesting.cmake).
