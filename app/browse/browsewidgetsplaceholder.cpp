// Replaced as the list's code arrives.
