x = 1 --[[ block
comment ]] y += 2
-- line
s = [==[ long
]] != ]==] a %= 3
f(a, function() n *= 2 end)
