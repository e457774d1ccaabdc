// The plug-in library: the core, and the one global object that attaches the plug-in to the host.
