# filled in as the pages land
