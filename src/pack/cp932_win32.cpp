// UTF-8 to code page 932 with the system converter.
