a += 1
t[i].x -= v * 2
if (x) y = 1
if (x) then y = 1 end
?"hi"
s = "a != b"
if a != b then c() end
