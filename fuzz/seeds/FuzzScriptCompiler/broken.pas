begin x := 'open
end.