local s = 0 for i = 1, 10 do for k, v in pairs({i}) do s = s + v end end while s > 0 do s = s - 7 end return s, 'x' .. s
