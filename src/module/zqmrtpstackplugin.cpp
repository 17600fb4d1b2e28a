// plug-in entry points: in progress
