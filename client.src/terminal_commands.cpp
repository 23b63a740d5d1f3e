// Written with its part of the library.
