// Placeholder; being written.
