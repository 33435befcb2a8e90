"""Native contract engine for the Veln host: module IR validation and execution."""
