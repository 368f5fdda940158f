// Keeps a layer library non-empty while its sources are being written.
