// Written with its facility.
