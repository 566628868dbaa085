local t = {}
t.x.y = 1
