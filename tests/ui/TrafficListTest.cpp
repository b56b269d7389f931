// Placeholder; tests follow.
